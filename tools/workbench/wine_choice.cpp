#include "wine_choice.h"

#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zorv_workbench {

bool fileExists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

namespace {

// The Wine loader is usable when it is on PATH (or given as a path).
bool findProgram(const std::string& name)
{
    if (name.empty())
        return false;
    if (name.find('/') != std::string::npos)
        return access(name.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':'))
        if (!folder.empty() && access((folder + "/" + name).c_str(), X_OK) == 0)
            return true;
    return false;
}

// Wine is installed on machines that cannot run it: its loader is a 32-bit
// program, and some kernels run none. One "wine --version" tells.
bool wineRuns(const std::string& wine)
{
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execlp(wine.c_str(), wine.c_str(), "--version", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}



// Why this Wine cannot run the placements, or "" when it can.
std::string wineProblem(const std::string& loader, const std::string& host, const std::string& what)
{
    if (loader.empty())
        return "Wine is turned off";
    if (!findProgram(loader))
        return "there is no " + loader;
    if (!fileExists(host))
        return host + " does not exist";
    if (!wineRuns(loader))
        return what + " does not start on this machine";
    return "";
}

WineChoice wineOf(int bits, const PanelFile& panel, const WorkbenchOptions& options)
{
    WineChoice choice;
    choice.bits = bits;
    if (bits == 32) {
        choice.loader = options.wine;
        choice.host = panel.wineHost;
        for (const char* name : {"WINEPREFIX", "WINEARCH"})
            if (const char* value = std::getenv(name))
                choice.environment.push_back(std::string(name) + "=" + value);
    } else {
        choice.loader = options.wine64;
        // Debian keeps the 64-bit loader out of PATH.
        if (choice.loader == "wine64" && !findProgram("wine64") && access("/usr/lib/wine/wine64", X_OK) == 0)
            choice.loader = "/usr/lib/wine/wine64";
        choice.host = panel.wine64Host;
        choice.environment.push_back("WINEARCH=win64");
        std::string prefix = options.wine64Prefix;
        if (prefix.empty())
            if (const char* inherited = std::getenv("WINEPREFIX"))
                prefix = inherited;
        if (!prefix.empty())
            choice.environment.push_back("WINEPREFIX=" + prefix);
        choice.note = "the 64-bit test build runs, not the shipped 32-bit DLL";
    }
    return choice;
}

} // namespace

WineChoice chooseWine(const PanelFile& panel, const WorkbenchOptions& options)
{
    WineChoice win32 = wineOf(32, panel, options), win64 = wineOf(64, panel, options);
    std::string problem32 = wineProblem(win32.loader, win32.host, "32-bit Wine");
    std::string problem64 = wineProblem(win64.loader, win64.host, "64-bit Wine");
    WineChoice none;
    none.insisted = !options.wine.empty() && panel.wineBits != WineBits::Auto;
    switch (panel.wineBits) {
    case WineBits::Win32:
        none.problem = problem32;
        return problem32.empty() ? win32 : none;
    case WineBits::Win64:
        none.problem = problem64;
        return problem64.empty() ? win64 : none;
    case WineBits::Auto:
        break;
    }
    if (problem32.empty())
        return win32;
    if (problem64.empty()) {
        win64.note = problem32 + ", so " + win64.note;
        return win64;
    }
    none.problem = problem32 + "; " + problem64;
    return none;
}

std::string wineName(const WineChoice& choice)
{
    return std::to_string(choice.bits) + "-bit Wine";
}

// The command line that runs zorv-host.exe under this Wine with args.
std::vector<std::string> wineCommand(const WineChoice& choice, const std::vector<std::string>& args)
{
    std::vector<std::string> argv;
    if (!choice.environment.empty()) {
        argv.push_back("env");
        argv.insert(argv.end(), choice.environment.begin(), choice.environment.end());
    }
    argv.push_back(choice.loader);
    argv.push_back(choice.host);
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// One line a POSIX shell reads back as these words.
std::string shellCommand(const std::vector<std::string>& words)
{
    std::string line;
    for (const std::string& word : words) {
        bool plain = !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                             "0123456789_-+=/.,:@%") == std::string::npos;
        if (!line.empty())
            line += ' ';
        if (plain) {
            line += word;
            continue;
        }
        line += '\'';
        for (char c : word)
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += '\'';
    }
    return line;
}

} // namespace zorv_workbench
