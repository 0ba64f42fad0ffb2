#include "preflight.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/component_loading.h"
#include "platform/preflight_items.h"
#include "platform/process.h"
#include "validator.h"

namespace zorv_host {

const char textLibraryVariable[] = "ZORV_TEXT_LIBRARY";

namespace {

const char* statusWord(PreflightStatus status)
{
    switch (status) {
    case PreflightStatus::pass: return "PASS";
    case PreflightStatus::fail: return "FAIL";
    case PreflightStatus::skip: return "SKIP";
    case PreflightStatus::note: return "NOTE";
    }
    return "FAIL";
}

bool noneFailed(const std::vector<PreflightItem>& items)
{
    for (const PreflightItem& item : items)
        if (item.status == PreflightStatus::fail)
            return false;
    return true;
}

// The first line of text, for a child's complaint quoted in one line.
std::string firstLine(const std::string& text)
{
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// validate --json's document, or null (and why not, in words).
nlohmann::json validateReport(const ChildOutcome& child, std::string& why)
{
    if (!child.started) {
        why = "zorv-host.exe could not run itself: " + child.description;
        return nullptr;
    }
    if (child.crashed || child.timedOut) {
        why = "zorv-host.exe validate " + child.description;
        return nullptr;
    }
    nlohmann::json report = nlohmann::json::parse(child.out, nullptr, false);
    if (report.is_discarded() || !report.is_object() || !report.contains("checks") || !report["checks"].is_array()) {
        why = "zorv-host.exe validate gave no report (" + child.description
              + (child.err.empty() ? std::string() : ": " + firstLine(child.err)) + ")";
        return nullptr;
    }
    return report;
}

std::string text(const nlohmann::json& value, const char* key)
{
    auto found = value.find(key);
    return found != value.end() && found->is_string() ? found->get<std::string>() : std::string();
}

int count(const nlohmann::json& value, const char* key)
{
    auto found = value.find(key);
    return found != value.end() && found->is_number_integer() ? found->get<int>() : 0;
}

// A check result's status and kind, read by their stable names; a status of
// no known name counts as a failure, a kind of no known name as none.
CheckStatus checkStatus(const nlohmann::json& check)
{
    return checkStatusFromName(text(check, "status")).value_or(CheckStatus::fail);
}

ResultKind checkKind(const nlohmann::json& check)
{
    return resultKindFromName(text(check, "kind")).value_or(ResultKind::none);
}

} // namespace

std::string formatPreflight(const std::vector<PreflightItem>& items, const PreflightOptions& options)
{
    const bool all = noneFailed(items);
    std::ostringstream out;
    if (options.json) {
        nlohmann::json list = nlohmann::json::array();
        for (const PreflightItem& item : items) {
            nlohmann::json entry{{"item", item.item}, {"status", statusWord(item.status)}, {"detail", item.detail}};
            if (!item.lines.empty()) {
                nlohmann::json lines = nlohmann::json::array();
                for (const PreflightLine& line : item.lines)
                    lines.push_back({{"status", line.status.empty() ? nlohmann::json() : nlohmann::json(line.status)},
                                     {"name", line.name},
                                     {"detail", line.detail}});
                entry["lines"] = lines;
            }
            list.push_back(entry);
        }
        out << nlohmann::json{{"schema", 2}, {"component", options.component}, {"items", list}, {"pass", all}}.dump(2)
            << "\n";
        return out.str();
    }
    for (const PreflightItem& item : items) {
        out << statusWord(item.status) << " " << item.item << ": " << item.detail << "\n";
        for (const PreflightLine& line : item.lines)
            out << "    " << (line.status.empty() ? "" : line.status + "  ") << line.name << ": " << line.detail
                << "\n";
    }
    out << (all ? "ready to deploy" : "not ready to deploy") << "\n";
    return out.str();
}

PreflightItem notRunBecause(const std::string& item, const std::string& failed)
{
    return {item, PreflightStatus::skip, "not run: " + failed + " failed", {}};
}

PreflightItem readFactoryCall(const ChildOutcome& child)
{
    const std::string item = "text library objects";
    std::string why;
    nlohmann::json report = validateReport(child, why);
    if (report.is_null())
        return {item, PreflightStatus::fail, why, {}};
    for (const nlohmann::json& check : report["checks"]) {
        if (text(check, "name") != "library.factory")
            continue;
        const std::string reason = text(check, "reason");
        if (checkStatus(check) == CheckStatus::pass)
            return {item, PreflightStatus::pass, "fit the component's reserves (its first factory call made a component)",
                    {}};
        if (checkKind(check) == ResultKind::loadFailed)
            return {item, PreflightStatus::fail, "the component cannot be loaded here: " + reason, {}};
        return {item, PreflightStatus::fail,
                "the component's first factory call made nothing (" + reason
                    + "); it makes nothing when the text library's objects do not fit its reserves, and its debug "
                      "line names the class and the bytes",
                {}};
    }
    return {item, PreflightStatus::fail, "zorv-host.exe validate ran no library.factory check", {}};
}

PreflightItem readValidation(const ChildOutcome& child)
{
    const std::string item = "validate";
    std::string why;
    nlohmann::json report = validateReport(child, why);
    if (report.is_null())
        return {item, PreflightStatus::fail, why, {}};
    PreflightItem result{item, PreflightStatus::pass, "", {}};
    // A layout the component shows that is missing or unreadable is only a
    // WARN to an author, but the control room would get an empty panel.
    for (const nlohmann::json& check : report["checks"])
        if (checkStatus(check) == CheckStatus::fail || checkKind(check) == ResultKind::layoutUnread)
            result.lines.push_back({checkStatusName(checkStatus(check)), text(check, "name"), text(check, "reason")});
    const int passed = count(report, "passed"), failed = count(report, "failed"), warned = count(report, "warned"),
              skipped = count(report, "skipped");
    result.detail = "strictness " + std::to_string(count(report, "strictness")) + ": " + std::to_string(passed)
                    + " passed, " + std::to_string(failed) + " failed"
                    + (warned ? ", " + std::to_string(warned) + " warned" : "")
                    + (skipped ? ", " + std::to_string(skipped) + " skipped" : "");
    if (failed > 0 || !result.lines.empty() || child.exitCode != 0)
        result.status = PreflightStatus::fail;
    return result;
}

bool applyTextLibraryOverride(std::string& error)
{
    const char* path = std::getenv(textLibraryVariable);
    if (!path || !*path)
        return true;
    std::string why;
    if (platform::preloadLibrary(path, why))
        return true;
    error = std::string(textLibraryVariable) + "=" + path + ": " + why;
    return false;
}

namespace {

// The component's own checks need it loaded: every import found with every
// name, bound to the text library the host's load takes.
void validationItems(const PreflightOptions& options, const platform::LoaderFinding& found,
                     std::vector<PreflightItem>& items)
{
    if (!found.firstFailure.empty()) {
        items.push_back(notRunBecause("text library objects", found.firstFailure));
        items.push_back(notRunBecause("validate", found.firstFailure));
        return;
    }
    if (!found.textLibrary.empty())
        platform::setEnvironment(textLibraryVariable, found.textLibrary);
    items.push_back(readFactoryCall(runSelf({validateEntry, options.component, "--only", "library.factory",
                                             "--strictness", "1", "--seed", "1", "--json"},
                                            120)));
    if (items.back().status == PreflightStatus::fail)
        items.push_back(notRunBecause("validate", items.back().item));
    else
        items.push_back(readValidation(
            runSelf({validateEntry, options.component, "--strictness", "1", "--seed", "1", "--json"}, 300)));
}

} // namespace

int runPreflight(const PreflightOptions& options)
{
    std::vector<PreflightItem> items;
    platform::LoaderFinding found;
    if (!platform::preflightItems(options, items, found)) {
        std::cerr << "zorv-host: preflight checks a DLL on the Windows machine it will run on: "
                     "run zorv-host.exe preflight there (or under Wine)\n";
        return 2;
    }
    if (found.imagePassed)
        validationItems(options, found, items);
    std::cout << formatPreflight(items, options);
    return noneFailed(items) ? 0 : 1;
}

} // namespace zorv_host
