// run, check and interactive: scenarios played against one component.
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/subcommands.h"
#include "library_loader.h"
#include "runner.h"
#include "scenario.h"
#include "session.h"

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

int playFiles(bool check, component_factory factory, const std::vector<std::string>& files)
{
    int failed = 0;
    int passed = 0;
    for (const std::string& file : files) {
        std::ifstream in(file);
        if (!in) {
            std::cerr << "zorv-host: cannot read " << file << "\n";
            return 2;
        }
        std::string error;
        std::optional<Scenario> scenario = parseScenario(in, file, error);
        if (!scenario) {
            std::cerr << "zorv-host: " << error << "\n";
            return 2;
        }
        if (!check && files.size() > 1)
            std::cout << "# scenario " << file << "\n";
        RunResult result = runScenario(*scenario, factory, check, std::cout);
        bool ok = result.mismatches == 0 && result.notes == 0;
        if (check)
            std::cout << (ok ? "PASS " : "FAIL ") << file << "\n";
        (ok ? passed : failed) += 1;
    }
    if (check)
        std::cout << passed << " passed, " << failed << " failed\n";
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
    command->callback([options, &status, check] {
        installCrashReporter();
        setCurrentEvent("loading " + options->library);
        ComponentLibrary library(options->library);
        if (loadComponent(library, status))
            status = playFiles(check, library.factory(), options->scenarios);
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
        if (loadComponent(library, status))
            status = runInteractive(std::cin, std::cout, library.factory(), options->basePath, isatty(0) != 0);
    });
}

} // namespace zorv_host::cli
