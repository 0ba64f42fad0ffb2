#include "scenario_files.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include <nlohmann/json.hpp>

#include "child_process.h"
#include "junit.h"
#include "paths.h"
#include "library_loader.h"
#include "panel_file.h"
#include "platform/console.h"
#include "runner.h"
#include "scenario.h"
#include "session.h"

namespace zorv_host {

const char checkEntry[] = "check";

// Reads --panel's file into options.panel; false, with a message, when it
// cannot be read.
bool loadPanel(PlayOptions& options)
{
    if (options.panelFile.empty())
        return true;
    std::string error;
    PathRoots roots{thisProgramFolder(), "", ""};   // only placements use them
    std::optional<PanelFile> file = loadPanelFile(options.panelFile, roots, error);
    if (!file) {
        std::cerr << "zorv-host: " << error << "\n";
        return false;
    }
    options.panel = HostPanel::of(*file);
    return true;
}

namespace {

bool colourWanted()
{
    return platform::isTerminal(1) && std::getenv("NO_COLOR") == nullptr;
}

bool writeFile(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".update";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush())
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

struct ScenarioOutcome {
    std::string file;
    bool ok = false;
    bool updated = false;
    RunResult result;
    std::string output;
    double seconds = 0;
    std::string ended;   // why its process ended before the scenario did (isolated only)
};

nlohmann::json toJson(const std::vector<ScenarioOutcome>& outcomes, const std::string& library)
{
    nlohmann::json list = nlohmann::json::array();
    int passed = 0;
    for (const ScenarioOutcome& o : outcomes) {
        passed += o.ok ? 1 : 0;
        list.push_back({{"file", o.file},
                        {"status", o.ok ? "PASS" : "FAIL"},
                        {"mismatches", o.result.mismatches},
                        {"rule_breaks", o.result.notes},
                        {"updated", o.updated},
                        {"ended", o.ended.empty() ? nlohmann::json() : nlohmann::json(o.ended)},
                        {"output", o.output},
                        {"seconds", o.seconds}});
    }
    return {{"schema", 1},
            {"library", library},
            {"scenarios", list},
            {"passed", passed},
            {"failed", static_cast<int>(outcomes.size()) - passed}};
}

std::vector<JunitCase> toJunit(const std::vector<ScenarioOutcome>& outcomes)
{
    std::vector<JunitCase> cases;
    for (const ScenarioOutcome& o : outcomes) {
        JunitCase c;
        c.name = o.file;
        c.className = "check";
        const bool passed = o.ok || o.updated;   // an update makes the expectations what was seen
        c.outcome = passed ? JunitCase::Outcome::pass : JunitCase::Outcome::fail;
        if (!passed && !o.ended.empty())
            c.message = o.ended;
        else if (!passed)
            c.message = std::to_string(o.result.mismatches) + " event(s) differ, "
                        + std::to_string(o.result.notes) + " rule break(s)";
        c.output = o.output;
        c.seconds = o.seconds;
        cases.push_back(c);
    }
    return cases;
}

// Plays one scenario in this process, its transcript to live as it comes
// (null: into outcome.output). Returns false, with status set, where the
// file cannot be read, parsed or rewritten.
bool playHere(const std::string& file, bool check, component_factory factory, const PlayOptions& options,
              std::ostream* live, ScenarioOutcome& outcome, int& status)
{
    std::optional<std::string> text = readFile(file);
    if (!text) {
        std::cerr << "zorv-host: cannot read " << file << "\n";
        status = 2;
        return false;
    }
    std::istringstream in(*text);
    std::string error;
    std::optional<Scenario> scenario = parseScenario(in, file, error);
    if (!scenario) {
        std::cerr << "zorv-host: " << error << "\n";
        status = 2;
        return false;
    }
    outcome.file = file;
    std::ostringstream captured;
    auto start = std::chrono::steady_clock::now();
    outcome.result = runScenario(*scenario, factory, check, live ? *live : captured,
                                 live == &std::cout && colourWanted(), options.panel ? &*options.panel : nullptr);
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.output = captured.str();
    outcome.ok = outcome.result.mismatches == 0 && outcome.result.notes == 0;
    if (options.update && outcome.result.mismatches > 0) {
        if (!writeFile(file, withExpectations(*text, *scenario, outcome.result.seen))) {
            std::cerr << "zorv-host: cannot rewrite " << file << "\n";
            status = 2;
            return false;
        }
        outcome.updated = true;
    }
    return true;
}

// Plays one scenario in a child process of its own, so that a component that
// crashes or hangs fails that scenario and the others still run.
bool playIsolated(const std::string& file, const PlayOptions& options, ScenarioOutcome& outcome, int& status)
{
    std::vector<std::string> args = {checkEntry, options.library, file, "--scenario-outcome"};
    if (options.update)
        args.push_back("--update");
    if (!options.panelFile.empty())
        args.insert(args.end(), {"--panel", options.panelFile});
    auto start = std::chrono::steady_clock::now();
    ChildOutcome child = runSelf(args, options.timeout);
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.file = file;
    // The child's standard output holds the transcript and, last, the outcome.
    std::size_t at = 0;
    std::optional<std::string> last = finalLine(child.out, at);
    std::optional<ScenarioOutcomeRecord> record = last ? readScenarioOutcome(*last) : std::nullopt;
    if (child.started && !child.timedOut && !child.crashed && child.exitCode == 0 && record) {
        outcome.result.mismatches = record->mismatches;
        outcome.result.notes = record->notes;
        outcome.updated = record->updated;
        outcome.seconds = record->seconds;
        outcome.ok = outcome.result.mismatches == 0 && outcome.result.notes == 0;
        outcome.output = child.out.substr(0, at);
        return true;
    }
    if (child.started && !child.crashed && !child.timedOut && child.exitCode == 2) {
        std::cerr << child.err;   // the file could not be read, parsed or rewritten
        status = 2;
        return false;
    }
    // The child died: what it printed stands, with why it ended.
    std::string why = child.timedOut ? "no outcome within " + std::to_string(static_cast<int>(options.timeout))
                                           + " s: the component hangs or is too slow"
                                     : "the scenario's process ended (" + child.description + ")";
    const ComponentReport report = componentReport(child.err);
    if (child.timedOut)
        why = withStuckSite(why, report.frames, options.library);
    else if (!report.sentence.empty())
        why = withCrashSite(report.sentence, describeCrashSite(report.frames, options.library));
    outcome.output = child.out + "! " + why + "\n";
    outcome.ended = why;
    outcome.ok = false;
    return true;
}

// The child's side of playIsolated: one scenario, its transcript and then
// its outcome on records.
int playOutcome(component_factory factory, const PlayOptions& options, std::ostream& records)
{
    if (options.scenarios.empty())
        return 2;
    records << std::unitbuf;   // what came before a crash is not lost in a buffer
    ScenarioOutcome outcome;
    int status = 0;
    if (!playHere(options.scenarios.front(), true, factory, options, &records, outcome, status))
        return status;
    records << scenarioOutcomeLine({outcome.result.mismatches, outcome.result.notes, outcome.updated, outcome.seconds})
            << "\n"
            << std::flush;
    return 0;
}

int playFiles(bool check, component_factory factory, const PlayOptions& options)
{
    const bool quiet = options.json;   // the report is the JSON alone
    // Several scenarios, or one whose results go to a report, are checked
    // one child process each (unless asked not to): a crash then fails its
    // scenario and the report is still written.
    const bool reported = options.json || !options.junit.empty();
    const bool isolate = check && !options.inProcess && (options.scenarios.size() > 1 || reported);
    std::vector<ScenarioOutcome> outcomes;
    for (const std::string& file : options.scenarios) {
        if (!check && options.scenarios.size() > 1)
            std::cout << "# scenario " << file << "\n";
        ScenarioOutcome outcome;
        int status = 0;
        // Captured only where a report needs the text: otherwise it goes out
        // as it comes, so a crash cannot swallow what came before it.
        const bool capture = quiet || !options.junit.empty();
        if (!(isolate ? playIsolated(file, options, outcome, status)
                      : playHere(file, check, factory, options, capture ? nullptr : &std::cout, outcome, status)))
            return status;
        if (check && !quiet) {
            if (isolate || capture)
                std::cout << outcome.output;
            std::cout << (outcome.updated ? "UPDATED " : outcome.ok ? "PASS " : "FAIL ") << file << "\n";
        }
        outcomes.push_back(std::move(outcome));
    }
    int failed = 0;
    bool ended = false;
    for (const ScenarioOutcome& o : outcomes) {
        failed += o.ok || o.updated ? 0 : 1;
        ended = ended || !o.ended.empty();
    }
    if (!options.junit.empty()) {
        std::string error;
        if (!writeJunitFile(options.junit, "zorv-host check " + options.library, toJunit(outcomes), error)) {
            std::cerr << "zorv-host: " << error << "\n";
            return 2;
        }
    }
    if (options.json)
        std::cout << toJson(outcomes, options.library).dump(2) << "\n";
    else if (check)
        std::cout << outcomes.size() - failed << " passed, " << failed << " failed\n";
    // As when one scenario crashes the run: 70 where a component crashed or hung.
    return ended ? 70 : failed == 0 ? 0 : 1;
}

} // namespace

std::optional<std::string> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int playLibrary(bool check, const PlayOptions& options)
{
    installCrashReporter();
    if (!options.outcomeLine)
        describeCrashesHere(options.library);   // no parent reads this process's reports
    // The child's side of one isolated scenario keeps its standard output
    // for the transcript and the outcome; taken before the library loads, so
    // that nothing the component prints, even while loading, lands there.
    std::unique_ptr<RecordStream> records;
    if (options.outcomeLine) {
        records = std::make_unique<RecordStream>();
        if (!records->taken()) {
            std::cerr << "zorv-host: cannot set up the outcome stream\n";
            return 2;
        }
    }
    setCurrentEvent("loading " + options.library);
    ComponentLibrary library(options.library);
    if (!library.factory()) {
        std::cerr << "zorv-host: " << library.error() << "\n";
        return 3;
    }
    if (records)
        return playOutcome(library.factory(), options, records->out());
    std::cout << std::unitbuf;   // what came before a crash is not lost in a buffer
    return playFiles(check, library.factory(), options);
}

std::string scenarioOutcomeLine(const ScenarioOutcomeRecord& record)
{
    std::ostringstream line;
    line << "outcome " << record.mismatches << " " << record.notes << " " << (record.updated ? 1 : 0) << " "
         << record.seconds;
    return line.str();
}

std::optional<ScenarioOutcomeRecord> readScenarioOutcome(const std::string& line)
{
    std::vector<std::string> fields;
    for (std::size_t at = 0, blank = 0; blank != std::string::npos; at = blank + 1) {
        blank = line.find(' ', at);
        fields.push_back(line.substr(at, blank == std::string::npos ? std::string::npos : blank - at));
    }
    if (fields.size() != 5 || fields[0] != "outcome" || (fields[3] != "0" && fields[3] != "1"))
        return std::nullopt;
    std::optional<int> mismatches = recordCount(fields[1]), notes = recordCount(fields[2]);
    char* end = nullptr;
    const double seconds = std::strtod(fields[4].c_str(), &end);
    if (!mismatches || !notes || fields[4].empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0
        || !std::isdigit(static_cast<unsigned char>(fields[4][0])))
        return std::nullopt;
    return ScenarioOutcomeRecord{*mismatches, *notes, fields[3] == "1", seconds};
}

} // namespace zorv_host
