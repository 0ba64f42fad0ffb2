// Runs this program again as a child process, with a time limit, and
// collects what it printed. The validator isolates each check this way, so
// a component that crashes or hangs fails one check, not the validator.
#ifndef ZORV_HOST_CHILD_PROCESS_H
#define ZORV_HOST_CHILD_PROCESS_H

#include <cstddef>
#include <functional>
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
// timeoutSeconds. Safe to call from several threads at once: no child
// inherits another's pipes.
ChildOutcome runSelf(const std::vector<std::string>& args, double timeoutSeconds);

// Calls work(i) for every i below count, up to jobs of them at a time on
// threads of their own, and done(i) on the calling thread in the order of i,
// each as soon as work(i) and every work before it finished. With jobs 1 it
// is a plain loop on the calling thread. work must not throw.
void forEachConcurrently(int jobs, std::size_t count, const std::function<void(std::size_t)>& work,
                         const std::function<void(std::size_t)>& done);

} // namespace zorv_host

#endif
