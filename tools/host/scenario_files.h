// Scenario files played against a component library: each in this process,
// or each in a child process of its own so that a component that crashes or
// hangs fails its scenario alone; with --update, JSON and JUnit reports.
// What `zorv-host run` and `check` do; the front only reads their options.
#ifndef ZORV_HOST_SCENARIO_FILES_H
#define ZORV_HOST_SCENARIO_FILES_H

#include <optional>
#include <string>
#include <vector>

#include "component_abi.h"
#include "host_model.h"

namespace zorv_host {

struct PlayOptions {
    std::string library;
    std::vector<std::string> scenarios;
    std::string basePath;
    bool update = false;       // check: rewrite the expected lines from what was seen
    bool json = false;
    std::string junit;         // check: also write a JUnit report here
    bool inProcess = false;    // check: all scenarios in this process (debugging, memory checkers)
    double timeout = 120;      // check: seconds each scenario's child process may take
    bool outcomeLine = false;  // the child's side of one scenario: end with its outcome line
    std::string panelFile;     // --panel: the host answers from this panel file's instances and router
    std::optional<HostPanel> panel;
};

// Reads options.panelFile (when given) into options.panel; false, with a
// message on standard error, when it cannot be read.
bool loadPanel(PlayOptions& options);

// Loads options.library and plays every scenario of options (check:
// compares and reports); prints the transcript or the differences and the
// summary; returns the exit status: 0 all passed, 1 a scenario failed, 2 a
// file could not be read, parsed or rewritten, 3 the library did not load
// (said on standard error), 70 a component crashed or hung.
int playLibrary(bool check, const PlayOptions& options);

// A scenario checked in a child process runs in a program that exposes
// playLibrary under this name (zorv-host does, as its subcommand "check"),
// with the hidden option --scenario-outcome.
extern const char checkEntry[];

// The whole of a file, bytes as they are; nullopt when it cannot be read.
std::optional<std::string> readFile(const std::string& path);

// What that child hands its parent, on a stream the component's printing
// cannot reach: the transcript, then this one last line,
//   outcome MISMATCHES NOTES UPDATED SECONDS
// with UPDATED 0 or 1. The read gives nullopt for any other line.
struct ScenarioOutcomeRecord {
    int mismatches = 0;
    int notes = 0;
    bool updated = false;
    double seconds = 0;
};
std::string scenarioOutcomeLine(const ScenarioOutcomeRecord& record);
std::optional<ScenarioOutcomeRecord> readScenarioOutcome(const std::string& line);

} // namespace zorv_host

#endif
