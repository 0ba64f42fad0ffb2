#include "platform/process.h"

#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zorv_host {

namespace {

const char selfPath[] = "/proc/self/exe";

// Both pipes, close-on-exec, so that a child another thread starts does not
// keep this one's open; dup2 clears that flag on the copies the child writes
// to. False (and why, in outcome) when they cannot be had.
bool makePipes(int outPipe[2], int errPipe[2], ChildOutcome& outcome)
{
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        outcome.description = std::string("could not make pipes (") + std::strerror(errno) + ")";
        return false;
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        const int error = errno;
        close(outPipe[0]);
        close(outPipe[1]);
        outcome.description = std::string("could not make pipes (") + std::strerror(error) + ")";
        return false;
    }
    return true;
}

// Reads both pipes into the outcome until they close or the deadline
// passes; then the child is asked where it is stuck (SIGUSR2, which the
// crash reporter answers, crash_posix.cpp), and killed if it has not ended
// two seconds later.
void collectOutput(pid_t child, int outFd, int errFd, double timeoutSeconds, ChildOutcome& outcome)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&outcome.out, &outcome.err};
    int open = 2;
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 && !outcome.timedOut) {
            outcome.timedOut = true;
            kill(child, SIGUSR2);
            deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            continue;
        }
        if (left.count() <= 0) {
            kill(child, SIGKILL);
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
}

void describeEnd(int status, ChildOutcome& outcome)
{
    if (outcome.timedOut) {
        outcome.description = "timed out";
    } else if (WIFSIGNALED(status)) {
        outcome.crashed = true;
        outcome.description = std::string("killed by ") + strsignal(WTERMSIG(status));
    } else {
        outcome.exitCode = WEXITSTATUS(status);
        outcome.crashed = outcome.exitCode == 70;
        outcome.description = "exit code " + std::to_string(outcome.exitCode);
    }
}

} // namespace

ChildOutcome runSelf(const std::vector<std::string>& args, double timeoutSeconds)
{
    std::vector<std::string> argv = {selfPath};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, timeoutSeconds);
}

ChildOutcome runProgram(const std::vector<std::string>& args, double timeoutSeconds)
{
    ChildOutcome outcome;
    // Everything the child needs is made before the fork: other threads may
    // hold the allocator's lock at that moment.
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    if (args.empty())
        return outcome;
    int outPipe[2], errPipe[2];
    if (!makePipes(outPipe, errPipe, outcome))
        return outcome;
    pid_t child = fork();
    const int forkError = errno;
    if (child == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (child < 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        outcome.description = std::string("could not fork (") + std::strerror(forkError) + ")";
        return outcome;
    }
    outcome.started = true;
    collectOutput(child, outPipe[0], errPipe[0], timeoutSeconds, outcome);
    int status = 0;
    waitpid(child, &status, 0);
    describeEnd(status, outcome);
    return outcome;
}

namespace platform {

std::string executablePath()
{
    char path[4096];
    ssize_t length = readlink(selfPath, path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path)
        return std::string();
    return std::string(path, static_cast<std::size_t>(length));
}

void setEnvironment(const std::string& name, const std::string& value)
{
    setenv(name.c_str(), value.c_str(), 1);
}

void replaceProcess(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
}

} // namespace platform
} // namespace zorv_host
