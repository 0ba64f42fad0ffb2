// run, check and interactive: scenarios played against one component.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/subcommands.h"
#include "junit.h"
#include "library_loader.h"
#include "runner.h"
#include "scenario.h"
#include "session.h"

#include <nlohmann/json.hpp>

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace zorv_host::cli {

namespace {

struct PlayOptions {
    std::string library;
    std::vector<std::string> scenarios;
    std::string basePath;
    bool update = false;       // check: rewrite the expected lines from what was seen
    bool json = false;
    std::string junit;         // check: also write a JUnit report here
};

// Loads the library; on failure reports it and leaves the exit status.
bool loadComponent(const ComponentLibrary& library, int& status)
{
    if (library.factory())
        return true;
    std::cerr << "zorv-host: " << library.error() << "\n";
    status = 3;
    return false;
}

bool colourWanted()
{
    return isatty(1) != 0 && std::getenv("NO_COLOR") == nullptr;
}

std::optional<std::string> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
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
        if (!passed)
            c.message = std::to_string(o.result.mismatches) + " event(s) differ, "
                        + std::to_string(o.result.notes) + " rule break(s)";
        c.output = o.output;
        c.seconds = o.seconds;
        cases.push_back(c);
    }
    return cases;
}

int playFiles(bool check, component_factory factory, const PlayOptions& options)
{
    const bool quiet = options.json;   // the report is the JSON alone
    std::vector<ScenarioOutcome> outcomes;
    for (const std::string& file : options.scenarios) {
        std::optional<std::string> text = readFile(file);
        if (!text) {
            std::cerr << "zorv-host: cannot read " << file << "\n";
            return 2;
        }
        std::istringstream in(*text);
        std::string error;
        std::optional<Scenario> scenario = parseScenario(in, file, error);
        if (!scenario) {
            std::cerr << "zorv-host: " << error << "\n";
            return 2;
        }
        if (!check && options.scenarios.size() > 1)
            std::cout << "# scenario " << file << "\n";
        ScenarioOutcome outcome;
        outcome.file = file;
        std::ostringstream captured;
        auto start = std::chrono::steady_clock::now();
        // Captured only where a report needs the text: otherwise it goes out
        // as it comes, so a crash cannot swallow what came before it.
        const bool capture = quiet || !options.junit.empty();
        outcome.result = runScenario(*scenario, factory, check, capture ? captured : std::cout,
                                     !capture && colourWanted());
        outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        outcome.output = captured.str();
        outcome.ok = outcome.result.mismatches == 0 && outcome.result.notes == 0;
        if (options.update && outcome.result.mismatches > 0) {
            if (!writeFile(file, withExpectations(*text, *scenario, outcome.result.seen))) {
                std::cerr << "zorv-host: cannot rewrite " << file << "\n";
                return 2;
            }
            outcome.updated = true;
        }
        if (check && !quiet) {
            std::cout << outcome.output;   // empty unless captured
            std::cout << (outcome.updated ? "UPDATED " : outcome.ok ? "PASS " : "FAIL ") << file << "\n";
        }
        outcomes.push_back(std::move(outcome));
    }
    int failed = 0;
    for (const ScenarioOutcome& o : outcomes)
        failed += o.ok || o.updated ? 0 : 1;
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
    return failed == 0 ? 0 : 1;
}

void addScenarioCommand(CLI::App& app, int& status, const std::string& name, const std::string& help, bool check)
{
    auto options = std::make_shared<PlayOptions>();
    CLI::App* command = app.add_subcommand(name, help);
    addLibrary(*command, options->library);
    command->add_option("SCENARIO", options->scenarios, "scenario files, played in order")
        ->required()
        ->check(CLI::ExistingFile);
    if (check) {
        command->add_flag("--update", options->update,
                          "rewrite each differing scenario's expected lines from what the component did");
        command->add_flag("--json", options->json, "print the results as JSON");
        command->add_option("--junit", options->junit, "also write a JUnit XML report to this file");
    }
    command->callback([options, &status, check] {
        installCrashReporter();
        setCurrentEvent("loading " + options->library);
        ComponentLibrary library(options->library);
        if (loadComponent(library, status))
            status = playFiles(check, library.factory(), *options);
    });
}

} // namespace

void addPlay(CLI::App& app, int& status)
{
    addScenarioCommand(app, status, "run", "play scenarios, print the transcript", false);
    addScenarioCommand(app, status, "check", "play scenarios, compare with their expected lines", true);

    auto options = std::make_shared<PlayOptions>();
    CLI::App* interactive = app.add_subcommand("interactive", "read event lines from standard input");
    addLibrary(*interactive, options->library);
    interactive->add_option("--base-path", options->basePath, "the base path the factory is given");
    interactive->callback([options, &status] {
        installCrashReporter();
        setCurrentEvent("loading " + options->library);
        ComponentLibrary library(options->library);
        if (loadComponent(library, status)) {
            const bool terminal = isatty(0) != 0;
            if (terminal)
                std::cout << "zorv-host interactive: type help for the events, quit to leave\n";
            LineSource lines = terminal ? terminalLines("zorv> ") : streamLines(std::cin, std::cout, "");
            status = runInteractive(lines, std::cout, library.factory(), options->basePath, !terminal);
        }
    });
}

} // namespace zorv_host::cli
