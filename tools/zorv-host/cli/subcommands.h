// The subcommands of zorv-host. Each add function puts one subcommand (its
// options and help) on the front; when the command line chose it, its
// callback runs and leaves the exit status in status:
// 0 all well, 1 a failure found, 2 bad usage or input, 3 the library cannot
// be loaded, 70 the component crashed.
#ifndef ZORV_HOST_CLI_SUBCOMMANDS_H
#define ZORV_HOST_CLI_SUBCOMMANDS_H

#include <CLI/CLI.hpp>

namespace zorv_host::cli {

void addPlay(CLI::App& app, int& status);          // run, check, interactive
void addValidate(CLI::App& app, int& status);
void addSoak(CLI::App& app, int& status);
void addPreflight(CLI::App& app, int& status);    // zorv-host.exe on the target machine
void addBridge(CLI::App& app, int& status);       // one component over a line protocol
void addImageCheck(CLI::App& app, int& status);   // native only; the script does the work
void addPanel(CLI::App& app, int& status);        // native only: the workbench
void addCoverage(CLI::App& app, int& status);     // native only: what the tests reach (gcovr)
void addNew(CLI::App& app, int& status);          // a ready component project
void addCrashSite(CLI::App& app, int& status);    // hidden: a crashed process's stack in words

} // namespace zorv_host::cli

#endif
