// This program as a process among others: running itself again as a child
// with a time limit, where its executable lies, its environment, and
// handing the process over to another program. One implementation per
// system (process_posix.cpp, process_windows.cpp), chosen by the build.
#ifndef ZORV_HOST_PLATFORM_PROCESS_H
#define ZORV_HOST_PLATFORM_PROCESS_H

#include <string>
#include <vector>

namespace zorv_host {

struct ChildOutcome {
    bool started = false;
    bool timedOut = false;
    bool crashed = false;       // ended by a signal or an unhandled exception
    int exitCode = 0;
    std::string description;    // how it ended, in words
    std::string out;            // standard output
    std::string err;            // standard error
};

// Runs the current executable with args (argv[1..]); kills it after
// timeoutSeconds. Where the system lets it, a child out of time is first
// asked where it is stuck (crash.h, onStuck) and given two seconds to say.
// Safe to call from several threads at once: no child inherits another's
// pipes. Exit status 70 counts as a crash (the crash reporter's), as do a
// signal and a Windows exception code.
ChildOutcome runSelf(const std::vector<std::string>& args, double timeoutSeconds);

// Runs the program argv[0] (found along PATH where it has no folder) with
// argv[1..] as runSelf runs this one. not started where it could not be.
ChildOutcome runProgram(const std::vector<std::string>& argv, double timeoutSeconds);

namespace platform {

// The full path of this program's executable; empty if the system does not say.
std::string executablePath();

// Sets an environment variable of this process, which its children inherit.
void setEnvironment(const std::string& name, const std::string& value);

// Replaces this process with the program args[0] (found along PATH), given
// args. Returns only when that could not be done.
void replaceProcess(const std::vector<std::string>& args);

} // namespace platform
} // namespace zorv_host

#endif
