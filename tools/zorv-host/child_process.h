// Runs this program again as a child process, with a time limit, and
// collects what it printed. The validator isolates each check this way, so
// a component that crashes or hangs fails one check, not the validator.
#ifndef ZORV_HOST_CHILD_PROCESS_H
#define ZORV_HOST_CHILD_PROCESS_H

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
// timeoutSeconds.
ChildOutcome runSelf(const std::vector<std::string>& args, double timeoutSeconds);

} // namespace zorv_host

#endif
