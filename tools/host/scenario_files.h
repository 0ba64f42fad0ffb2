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

// Plays every scenario of options (check: compares and reports); prints the
// transcript or the differences and the summary; returns the exit status:
// 0 all passed, 1 a scenario failed, 2 a file could not be read, parsed or
// rewritten, 70 a component crashed or hung.
int playFiles(bool check, component_factory factory, const PlayOptions& options);

// A scenario checked in a child process runs in a program that exposes
// playFiles under this name (zorv-host does, as its subcommand "check"),
// with the hidden option --scenario-outcome.
extern const char checkEntry[];

} // namespace zorv_host

#endif
