// zorv-host: a panel-host simulator for script components.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "bridge.h"
#include "library_loader.h"
#include "runner.h"
#include "soak.h"
#include "validator.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace {

const char usage[] =
    "usage:\n"
    "  zorv-host run LIBRARY SCENARIO...        play scenarios, print the transcript\n"
    "  zorv-host check LIBRARY SCENARIO...      play scenarios, compare with their expected lines\n"
    "  zorv-host interactive LIBRARY [--base-path PATH]\n"
    "                                           read event lines from standard input\n"
    "  zorv-host validate LIBRARY [options]     named checks of the host contract (--help)\n"
    "  zorv-host soak LIBRARY [--events N]      a long ordinary run; books and memory at checkpoints\n"
    "  zorv-host bridge LIBRARY                 one component driven over standard input and output\n"
    "Exit status: 0 all well, 1 a mismatch or a rule break, 2 bad usage or scenario,\n"
    "3 the library cannot be loaded, 70 the component crashed.\n";

int usageError(const std::string& why)
{
    std::cerr << "zorv-host: " << why << "\n" << usage;
    return 2;
}

int playFiles(const std::string& mode, zorv_host::component_factory factory, const std::vector<std::string>& files)
{
    bool check = mode == "check";
    int failed = 0;
    int passed = 0;
    for (const std::string& file : files) {
        std::ifstream in(file);
        if (!in) {
            std::cerr << "zorv-host: cannot read " << file << "\n";
            return 2;
        }
        std::string error;
        std::optional<zorv_host::Scenario> scenario = zorv_host::parseScenario(in, file, error);
        if (!scenario) {
            std::cerr << "zorv-host: " << error << "\n";
            return 2;
        }
        if (!check && files.size() > 1)
            std::cout << "# scenario " << file << "\n";
        zorv_host::RunResult result = zorv_host::runScenario(*scenario, factory, check, std::cout);
        bool ok = result.mismatches == 0 && result.notes == 0;
        if (check)
            std::cout << (ok ? "PASS " : "FAIL ") << file << "\n";
        (ok ? passed : failed) += 1;
    }
    if (check)
        std::cout << passed << " passed, " << failed << " failed\n";
    return failed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << usage;
        return args.empty() ? 2 : 0;
    }
    const std::string mode = args[0];
    if (mode == "validate")
        return zorv_host::runValidate(std::vector<std::string>(args.begin() + 1, args.end()));
    if (mode == "bridge") {
        if (args.size() != 2)
            return usageError("bridge takes one component library");
        return zorv_host::runBridge(args[1]);
    }
    if (mode == "soak")
        return zorv_host::runSoak(std::vector<std::string>(args.begin() + 1, args.end()));
    if (mode != "run" && mode != "check" && mode != "interactive")
        return usageError("unknown command \"" + mode + "\"");
    if (args.size() < 2)
        return usageError(mode + " needs a component library");

    std::string basePath;
    std::vector<std::string> files;
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (mode == "interactive" && args[i] == "--base-path" && i + 1 < args.size())
            basePath = args[++i];
        else if (mode == "interactive")
            return usageError("interactive takes only --base-path PATH");
        else
            files.push_back(args[i]);
    }
    if (mode != "interactive" && files.empty())
        return usageError(mode + " needs at least one scenario");

    zorv_host::installCrashReporter();
    zorv_host::setCurrentEvent("loading " + args[1]);
    zorv_host::ComponentLibrary library(args[1]);
    if (!library.factory()) {
        std::cerr << "zorv-host: " << library.error() << "\n";
        return 3;
    }
    if (mode == "interactive")
        return zorv_host::runInteractive(std::cin, std::cout, library.factory(), basePath, isatty(0) != 0);
    return playFiles(mode, library.factory(), files);
}
