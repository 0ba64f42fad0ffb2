// run, check and interactive: scenarios played against one component. The
// playing is the host library's (scenario_files.h, runner.h).
#include <iostream>
#include <memory>
#include <string>

#include "cli/options.h"
#include "cli/subcommands.h"
#include "library_loader.h"
#include "platform/console.h"
#include "runner.h"
#include "scenario_files.h"
#include "session.h"

namespace zorv_host::cli {

namespace {

void addPanelOption(CLI::App& command, PlayOptions& options)
{
    command.add_option("--panel", options.panelFile,
                       "answer \"SD\" and route \"RC\" as this panel file's instance table and router do")
        ->check(CLI::ExistingFile);
}

// Loads the library; on failure reports it and leaves the exit status.
bool loadComponent(const ComponentLibrary& library, int& status)
{
    if (library.factory())
        return true;
    std::cerr << "zorv-host: " << library.error() << "\n";
    status = 3;
    return false;
}

void addScenarioCommand(CLI::App& app, int& status, const std::string& name, const std::string& help, bool check)
{
    auto options = std::make_shared<PlayOptions>();
    CLI::App* command = app.add_subcommand(name, help);
    addLibrary(*command, options->library);
    command->add_option("SCENARIO", options->scenarios, "scenario files, played in order")
        ->required()
        ->check(CLI::ExistingFile);
    addPanelOption(*command, *options);
    if (check) {
        command->add_flag("--update", options->update,
                          "rewrite each differing scenario's expected lines from what the component did");
        command->add_flag("--json", options->json, "print the results as JSON");
        command->add_option("--junit", options->junit, "also write a JUnit XML report to this file");
        command->add_flag("--in-process", options->inProcess,
                          "play every scenario in this process (a crash then ends the run)");
        command->add_option("--timeout", options->timeout, "seconds each scenario may take (default 120)")
            ->check(CLI::PositiveNumber);
        command->add_flag("--scenario-outcome", options->outcomeLine)->group("");   // a child's side of one scenario
    }
    command->callback([options, &status, check] { status = loadPanel(*options) ? playLibrary(check, *options) : 2; });
}

} // namespace

void addPlay(CLI::App& app, int& status)
{
    addScenarioCommand(app, status, "run", "play scenarios, print the transcript", false);
    addScenarioCommand(app, status, checkEntry, "play scenarios, compare with their expected lines", true);

    auto options = std::make_shared<PlayOptions>();
    CLI::App* interactive = app.add_subcommand("interactive", "read event lines from standard input");
    addLibrary(*interactive, options->library);
    interactive->add_option("--base-path", options->basePath, "the base path the factory is given");
    addPanelOption(*interactive, *options);
    interactive->callback([options, &status] {
        if (!loadPanel(*options)) {
            status = 2;
            return;
        }
        installCrashReporter();
        describeCrashesHere(options->library);
        setCurrentEvent("loading " + options->library);
        ComponentLibrary library(options->library);
        if (loadComponent(library, status)) {
            const bool terminal = platform::isTerminal(0);
            if (terminal)
                std::cout << "zorv-host interactive: type help for the events, quit to leave\n";
            LineSource lines = terminal ? terminalLines("zorv> ") : streamLines(std::cin, std::cout, "");
            status = runInteractive(lines, std::cout, library.factory(), options->basePath, !terminal,
                                    options->panel ? &*options->panel : nullptr);
        }
    });
}

} // namespace zorv_host::cli
