// image-check: the image checks of a component DLL, done by the Python
// script beside zorv-host (it reads PE files with pefile).
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "child_process.h"
#include "cli/subcommands.h"

#if !defined(_WIN32)
#include <unistd.h>

#include <climits>
#endif

namespace zorv_host::cli {

namespace {

#if !defined(_WIN32)
bool readable(const std::string& path)
{
    return access(path.c_str(), R_OK) == 0;
}

// Installed: PREFIX/bin/zorv-host and PREFIX/share/zorv/ (the SDK's share
// folder); in the build tree the script is found in the sources.
std::string findScript()
{
    std::string folder = thisProgramFolder();
    if (folder.empty())
        folder = ".";
    for (const std::string& candidate : {folder + "/../share/zorv/zorv_image_check.py",
                                         folder + "/zorv_image_check.py", std::string(ZORV_IMAGE_CHECK_SOURCE)})
        if (readable(candidate))
            return candidate;
    return std::string();
}
#endif

} // namespace

void addImageCheck(CLI::App& app, int& status)
{
    auto words = std::make_shared<std::vector<std::string>>();
    CLI::App* command = app.add_subcommand(
        "image-check", "check a component DLL's image: machine, export, imports, version record, manifest");
    command->set_help_flag();    // --help goes to the script, which knows its options
    command->prefix_command();   // everything after the subcommand goes to the script
    command->callback([words, command, &status] {
#if defined(_WIN32)
        (void)words;
        (void)command;
        std::cerr << "zorv-host: image-check runs on the build machine (zorv-host, not zorv-host.exe)\n";
        status = 2;
#else
        const std::string script = findScript();
        if (script.empty()) {
            std::cerr << "zorv-host: zorv_image_check.py not found beside zorv-host or in share/zorv/\n";
            status = 2;
            return;
        }
        const std::string python = readable("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
        std::vector<std::string> args = {python, script};
        for (const std::string& extra : command->remaining())
            args.push_back(extra);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        setenv("ZORV_IMAGE_CHECK_PROG", "zorv-host image-check", 1);
        std::cout.flush();
        execvp(argv[0], argv.data());
        std::cerr << "zorv-host: cannot run " << python << " (install python3 and python3-pefile)\n";
        status = 3;
#endif
    });
}

} // namespace zorv_host::cli
