#include "preflight.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "library_loader.h"
#include "load_path.h"
#include "validator.h"

#if defined(_WIN32)
#include <windows.h>
// windows.h first: these need its types.
#include <dbghelp.h>
#include <winver.h>
#else
#include <dlfcn.h>
#endif

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
    for (const nlohmann::json& check : report["checks"])
        if (checkStatus(check) == CheckStatus::fail)
            result.lines.push_back({checkStatusName(CheckStatus::fail), text(check, "name"), text(check, "reason")});
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

#if defined(_WIN32)

namespace {

const char textLibraryName[] = "zorv_string.dll";

bool sameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string fullPath(const std::string& path)
{
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full) : path;
}

PreflightItem windowsVersion(const PeImage& image)
{
    using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    auto call = reinterpret_cast<RtlGetVersionCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    if (!call || call(&version) != 0)
        return {"windows", PreflightStatus::fail, "the Windows version cannot be read", {}};
    const bool allowed = version.dwMajorVersion > image.subsystemMajor
                         || (version.dwMajorVersion == image.subsystemMajor
                             && version.dwMinorVersion >= image.subsystemMinor);
    std::string detail = "Windows " + std::to_string(version.dwMajorVersion) + "."
                         + std::to_string(version.dwMinorVersion) + " build " + std::to_string(version.dwBuildNumber)
                         + "; the component's header asks for " + std::to_string(image.subsystemMajor) + "."
                         + std::to_string(image.subsystemMinor) + " or later (operating system "
                         + std::to_string(image.osMajor) + "." + std::to_string(image.osMinor) + ")";
    return {"windows", allowed ? PreflightStatus::pass : PreflightStatus::fail, detail, {}};
}

// How a missing name reads to a person: "zorv_string::arg(int, char,
// unsigned int, int) const" rather than the mangled form.
std::string readableName(const std::string& mangled)
{
    char text[1024];
    const DWORD flags = UNDNAME_NO_ACCESS_SPECIFIERS | UNDNAME_NO_MS_KEYWORDS | UNDNAME_NO_FUNCTION_RETURNS
                        | UNDNAME_NO_MEMBER_TYPE;
    if (UnDecorateSymbolName(mangled.c_str(), text, sizeof text, flags) == 0)
        return mangled;
    std::string readable;
    for (const char* c = text; *c; ++c) {
        readable += *c;
        if (*c == ',' && c[1] != ' ')
            readable += ' ';
        if (*c == ')' && c[1] != '\0' && c[1] != ' ' && c[1] != ',' && c[1] != ')')
            readable += ' ';   // ")const" -> ") const"
    }
    return readable;
}

// The two orders a component's imports may be looked for in: the panel
// host's (a plain load of the component's full path: the host program's
// folder first) and zorv-host.exe's own (the altered search path: the
// component's folder first).
struct Orders {
    SearchPlaces places;
    std::vector<std::string> host, altered;
    bool hostFolderGiven = false;
};

Orders searchOrders(const PreflightOptions& options, const std::string& component)
{
    Orders orders;
    orders.places = searchPlacesHere(component);
    orders.hostFolderGiven = !options.hostFolder.empty();
    if (orders.hostFolderGiven)
        orders.places.programFolder = fullPath(options.hostFolder);
    orders.host = searchFolders(SearchOrder::plain, orders.places);
    orders.altered = searchFolders(SearchOrder::altered, orders.places);
    return orders;
}

std::string finding(const Located& located, const std::vector<std::string>& folders, const std::string& dll)
{
    std::string passedOver;
    for (const std::string& skipped : located.skipped)
        passedOver += "; passed over " + skipped;
    if (!located.unusable.empty())
        return "takes " + located.unusable + passedOver;
    if (!located.path.empty())
        return "finds " + located.path + passedOver;
    return "finds no " + dll + " (searched, in order: " + listFolders(folders) + ")" + passedOver;
}

// The order assumed for the panel host, and what each order finds of the
// text library: one NOTE, whatever they find.
PreflightItem searchOrderNote(const Orders& orders)
{
    PreflightItem note{"search order", PreflightStatus::note,
                       "assumed for the panel host: a plain load of the component's full path, which looks for its "
                       "imports in the host program's folder first ("
                           + orders.places.programFolder
                           + (orders.hostFolderGiven ? ", given with --host-folder"
                                                     : ", this program's; --host-folder names the panel host's")
                           + "), not in the component's, then in the system folders, the current folder and PATH",
                       {}};
    note.lines.push_back({"", "plain load (the panel host)",
                          finding(locateAlong(textLibraryName, orders.host, ownMachine()), orders.host,
                                  textLibraryName)});
    note.lines.push_back({"", "altered search path (zorv-host.exe; the component's folder first)",
                          finding(locateAlong(textLibraryName, orders.altered, ownMachine()), orders.altered,
                                  textLibraryName)});
    return note;
}

struct ImportFinding {
    std::vector<PreflightItem> items;
    std::string textLibrary;   // where the host's load takes zorv_string.dll from; empty: nowhere
    std::string firstFailure;  // the first item that failed; empty: none
};

// Each imported DLL as the panel host's load finds it, and its names.
ImportFinding importItems(const PeImage& image, const PreflightOptions& options, const Orders& orders)
{
    ImportFinding found;
    auto add = [&found](PreflightItem item) {
        if (item.status == PreflightStatus::fail && found.firstFailure.empty())
            found.firstFailure = item.item;
        found.items.push_back(std::move(item));
    };
    for (const PeImport& import : image.imports) {
        const std::string what = "imports " + import.dll, names = "names from " + import.dll;
        const bool textLibrary = sameName(import.dll, textLibraryName);
        std::string path;
        if (textLibrary && !options.textLibrary.empty()) {
            path = fullPath(options.textLibrary);
        } else {
            Located located = locateAlong(import.dll, orders.host, ownMachine());
            if (located.path.empty()) {
                std::string passedOver;
                for (const std::string& skipped : located.skipped)
                    passedOver += "; passed over " + skipped;
                std::string detail = located.unusable.empty()
                                         ? import.dll + " not found by the panel host's plain load (searched, in order: "
                                               + listFolders(orders.host) + ")" + passedOver
                                         : "the panel host's plain load takes " + located.unusable + passedOver;
                Located altered = locateAlong(import.dll, orders.altered, ownMachine());
                if (!altered.path.empty())
                    detail += "; only the altered search path, which the host does not use, finds " + altered.path;
                add({what, PreflightStatus::fail, detail, {}});
                found.items.push_back(notRunBecause(names, what));
                continue;
            }
            path = located.path;
        }
        HMODULE module = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        if (!module) {
            add({what, PreflightStatus::fail,
                 path + " found but cannot be loaded (Windows error " + std::to_string(GetLastError()) + ")", {}});
            found.items.push_back(notRunBecause(names, what));
            continue;
        }
        add({what, PreflightStatus::pass,
             path + (textLibrary && !options.textLibrary.empty() ? " (given with --text-library)" : ""), {}});
        if (textLibrary)
            found.textLibrary = path;
        std::string missing;
        int missingCount = 0;
        for (const std::string& name : import.names) {
            bool byOrdinal = !name.empty() && name[0] == '#';
            FARPROC address = byOrdinal ? GetProcAddress(module, MAKEINTRESOURCEA(std::atoi(name.c_str() + 1)))
                                        : GetProcAddress(module, name.c_str());
            if (!address) {
                missing += std::string(missing.empty() ? "" : "; ") + readableName(name);
                ++missingCount;
            }
        }
        add({names, missingCount == 0 ? PreflightStatus::pass : PreflightStatus::fail,
             missingCount == 0 ? std::to_string(import.names.size()) + " names, all resolved"
                               : std::to_string(missingCount) + " of " + std::to_string(import.names.size())
                                     + " missing: " + missing,
             {}});
        FreeLibrary(module);
    }
    return found;
}

std::string versionString(const std::vector<char>& block, const std::string& table, const char* key)
{
    void* value = nullptr;
    UINT length = 0;
    std::string query = "\\StringFileInfo\\" + table + "\\" + key;
    if (VerQueryValueA(block.data(), query.c_str(), &value, &length) && value && length > 0)
        return std::string(static_cast<const char*>(value));
    return std::string();
}

PreflightItem versionRecord(const std::string& component)
{
    const char* item = "version record";
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(component.c_str(), &ignored);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoA(component.c_str(), 0, size, block.data()))
        return {item, PreflightStatus::fail, "the component has no version record", {}};
    struct Translation {
        WORD language, codePage;
    };
    Translation* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length)
        || length < sizeof(Translation))
        return {item, PreflightStatus::fail, "the version record has no translation table", {}};
    char table[16];
    std::snprintf(table, sizeof table, "%04x%04x", translation->language, translation->codePage);
    const std::string fileVersion = versionString(block, table, "FileVersion");
    const std::string productVersion = versionString(block, table, "ProductVersion");
    const std::string description = versionString(block, table, "FileDescription");
    const bool complete = !fileVersion.empty() && !productVersion.empty() && !description.empty();
    return {item, complete ? PreflightStatus::pass : PreflightStatus::fail,
            "FileVersion " + (fileVersion.empty() ? "missing" : fileVersion) + ", ProductVersion "
                + (productVersion.empty() ? "missing" : productVersion) + ", \""
                + (description.empty() ? "no description" : description) + "\"",
            {}};
}

// The image item: a DLL of the machine this zorv-host.exe loads. The
// 64-bit test build checks 64-bit DLLs against its own machine.
PreflightItem imageItem(const std::string& component, const PeImage& image)
{
    if (!image.error.empty())
        return {"image", PreflightStatus::fail, component + ": " + image.error, {}};
    if (image.machine != ownMachine())
        return {"image", PreflightStatus::fail,
                component + " is " + describeMachine(image.machine) + "; " + ownMachineRule(), {}};
    if (!image.dll)
        return {"image", PreflightStatus::fail, component + " is a program, not a DLL", {}};
    return {"image", PreflightStatus::pass,
            ownMachine() == peMachineI386
                ? "a 32-bit DLL"
                : "a 64-bit (x64) DLL, checked by the 64-bit test build of zorv-host.exe against its own machine "
                  "(the panel host loads 32-bit DLLs)",
            {}};
}

} // namespace

#endif

bool applyTextLibraryOverride(std::string& error)
{
    const char* path = std::getenv(textLibraryVariable);
    if (!path || !*path)
        return true;
#if defined(_WIN32)
    // Once a module of that name is loaded, the loader binds later imports of
    // zorv_string.dll to it, wherever the component lies.
    if (LoadLibraryA(path))
        return true;
    error = std::string(textLibraryVariable) + "=" + path + ": cannot be loaded (error "
            + std::to_string(GetLastError()) + ")";
#else
    if (dlopen(path, RTLD_NOW | RTLD_GLOBAL))
        return true;
    const char* why = dlerror();
    error = std::string(textLibraryVariable) + "=" + path + ": " + (why ? why : "cannot be loaded");
#endif
    return false;
}

int runPreflight(const PreflightOptions& options)
{
#if defined(_WIN32)
    std::vector<PreflightItem> items;
    const std::string component = fullPath(options.component);
    PeImage image = readPeImage(component);
    items.push_back(imageItem(options.component, image));
    if (items.back().status == PreflightStatus::pass) {
        items.push_back(windowsVersion(image));
        const Orders orders = searchOrders(options, component);
        items.push_back(searchOrderNote(orders));
        ImportFinding imports = importItems(image, options, orders);
        items.insert(items.end(), imports.items.begin(), imports.items.end());
        items.push_back(versionRecord(options.component));
        // The component's own checks need it loaded: every import found
        // with every name, bound to the text library the host's load takes.
        if (!imports.firstFailure.empty()) {
            items.push_back(notRunBecause("text library objects", imports.firstFailure));
            items.push_back(notRunBecause("validate", imports.firstFailure));
        } else {
            if (!imports.textLibrary.empty())
                SetEnvironmentVariableA(textLibraryVariable, imports.textLibrary.c_str());
            items.push_back(readFactoryCall(runSelf({"validate", options.component, "--only", "library.factory",
                                                     "--strictness", "1", "--seed", "1", "--json"},
                                                    120)));
            if (items.back().status == PreflightStatus::fail)
                items.push_back(notRunBecause("validate", items.back().item));
            else
                items.push_back(readValidation(
                    runSelf({"validate", options.component, "--strictness", "1", "--seed", "1", "--json"}, 300)));
        }
    }
    std::cout << formatPreflight(items, options);
    return noneFailed(items) ? 0 : 1;
#else
    (void)options;
    std::cerr << "zorv-host: preflight checks a DLL on the Windows machine it will run on: "
                 "run zorv-host.exe preflight there (or under Wine)\n";
    return 2;
#endif
}

} // namespace zorv_host
