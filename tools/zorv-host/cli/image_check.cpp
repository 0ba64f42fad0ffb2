// image-check: the image checks of a component DLL, done by the Python
// script beside zorv-host (it reads PE files with pefile).
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "paths.h"
#include "cli/subcommands.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"

namespace zorv_host::cli {

namespace {

// PREFIX/bin/zorv-host and PREFIX/share/zorv/ (the SDK's share folder; the
// build tree lays it out alike), or the script beside the program.
std::string findScript()
{
    std::string folder = thisProgramFolder();
    if (folder.empty())
        folder = ".";
    for (const std::string& candidate : {folder + "/../share/zorv/zorv_image_check.py",
                                         folder + "/zorv_image_check.py"})
        if (platform::fileReadable(candidate))
            return candidate;
    return std::string();
}

// Hands this process over to the script with the arguments given after the
// subcommand; returns (with the exit status set) only when it cannot.
void runScript(const std::vector<std::string>& remaining, int& status)
{
    const std::string script = findScript();
    if (script.empty()) {
        std::cerr << "zorv-host: zorv_image_check.py not found beside zorv-host or in share/zorv/\n";
        status = 2;
        return;
    }
    const std::string python = platform::fileReadable("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    std::vector<std::string> args = {python, script};
    args.insert(args.end(), remaining.begin(), remaining.end());
    platform::setEnvironment("ZORV_IMAGE_CHECK_PROG", "zorv-host image-check");
    std::cout.flush();
    platform::replaceProcess(args);
    std::cerr << "zorv-host: cannot run " << python << " (install python3 and python3-pefile)\n";
    status = 3;
}

} // namespace

void addImageCheck(CLI::App& app, int& status)
{
    CLI::App* command = app.add_subcommand(
        "image-check", "check a component DLL's image: machine, export, imports, version record, manifest");
    command->set_help_flag();    // --help goes to the script, which knows its options
    command->prefix_command();   // everything after the subcommand goes to the script
    command->callback([command, &status] {
        if (platform::windowsHost()) {
            std::cerr << "zorv-host: image-check runs on the build machine (zorv-host, not zorv-host.exe)\n";
            status = 2;
            return;
        }
        runScript(command->remaining(), status);
    });
}

} // namespace zorv_host::cli
