#include "child_process.h"

#include "vocabulary.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <memory>

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#endif

namespace zorv_host {

#if defined(_WIN32)

namespace {

std::string quoteArgument(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
        return arg;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

// Reads a pipe to its end on a thread of its own, so neither pipe can fill.
DWORD WINAPI drain(LPVOID context)
{
    auto* target = static_cast<std::pair<HANDLE, std::string*>*>(context);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(target->first, buffer, sizeof buffer, &got, nullptr) && got > 0)
        target->second->append(buffer, got);
    return 0;
}

// Held from making a child's pipes until their inheritable ends are closed
// again, so that a child started by another thread meanwhile cannot inherit
// them (and keep them open past this child's end).
std::atomic_flag startingChild = ATOMIC_FLAG_INIT;

struct StartLock {
    StartLock()
    {
        while (startingChild.test_and_set(std::memory_order_acquire))
            Sleep(0);
    }
    ~StartLock() { startingChild.clear(std::memory_order_release); }
};

} // namespace

ChildOutcome runSelf(const std::vector<std::string>& args, double timeoutSeconds)
{
    ChildOutcome outcome;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = quoteArgument(self);
    for (const std::string& arg : args)
        command += " " + quoteArgument(arg);

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    std::unique_ptr<StartLock> starting(new StartLock);
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    outcome.started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                     &startup, &process) != 0;
    const DWORD startError = outcome.started ? 0 : GetLastError();
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    starting.reset();
    if (!outcome.started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        outcome.description = "could not start a child process (Windows error " + std::to_string(startError) + ")";
        return outcome;
    }
    std::pair<HANDLE, std::string*> outTarget{outRead, &outcome.out}, errTarget{errRead, &outcome.err};
    HANDLE readers[2] = {CreateThread(nullptr, 0, drain, &outTarget, 0, nullptr),
                         CreateThread(nullptr, 0, drain, &errTarget, 0, nullptr)};
    DWORD waited = WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeoutSeconds * 1000));
    if (waited == WAIT_TIMEOUT) {
        outcome.timedOut = true;
        TerminateProcess(process.hProcess, 124);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    WaitForMultipleObjects(2, readers, TRUE, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    outcome.exitCode = static_cast<int>(code);
    outcome.crashed = !outcome.timedOut && (code >= 0xC0000000u || code == 70);
    outcome.description = outcome.timedOut ? "timed out" : "exit code " + std::to_string(code);
    for (HANDLE h : {readers[0], readers[1], outRead, errRead, process.hProcess, process.hThread})
        CloseHandle(h);
    return outcome;
}

#else

ChildOutcome runSelf(const std::vector<std::string>& args, double timeoutSeconds)
{
    ChildOutcome outcome;
    // Everything the child needs is made before the fork: other threads may
    // hold the allocator's lock at that moment. The pipes close on exec, so
    // a child another thread starts does not keep this one's open; dup2
    // clears that flag on the copies this child writes to.
    static const char self[] = "/proc/self/exe";
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(self));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        outcome.description = std::string("could not make pipes (") + std::strerror(errno) + ")";
        return outcome;
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        const int error = errno;
        close(outPipe[0]);
        close(outPipe[1]);
        outcome.description = std::string("could not make pipes (") + std::strerror(error) + ")";
        return outcome;
    }
    pid_t child = fork();
    const int forkError = errno;
    if (child == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        execv(self, argv.data());
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
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&outcome.out, &outcome.err};
    int open = 2;
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            outcome.timedOut = true;
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
    int status = 0;
    waitpid(child, &status, 0);
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
    return outcome;
}

#endif

std::string thisProgramFolder()
{
#if defined(_WIN32)
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
#else
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path)
        return std::string();
#endif
    return folderOf(std::string(path, static_cast<std::size_t>(length)));
}

namespace {

void pause()
{
#if defined(_WIN32)
    Sleep(5);
#else
    timespec wait{0, 5 * 1000 * 1000};
    nanosleep(&wait, nullptr);
#endif
}

struct Pool {
    const std::function<void(std::size_t)>* work;
    std::size_t count;
    std::atomic<std::size_t> next{0};
    std::unique_ptr<std::atomic<bool>[]> finished;

    void serve()
    {
        for (std::size_t i = next++; i < count; i = next++) {
            (*work)(i);
            finished[i].store(true, std::memory_order_release);
        }
    }
};

#if defined(_WIN32)
DWORD WINAPI serveThread(LPVOID pool)
{
    static_cast<Pool*>(pool)->serve();
    return 0;
}
#endif

} // namespace

void forEachConcurrently(int jobs, std::size_t count, const std::function<void(std::size_t)>& work,
                         const std::function<void(std::size_t)>& done)
{
    if (jobs <= 1 || count <= 1) {
        for (std::size_t i = 0; i < count; ++i) {
            work(i);
            done(i);
        }
        return;
    }
    Pool pool;
    pool.work = &work;
    pool.count = count;
    pool.finished.reset(new std::atomic<bool>[count]);
    for (std::size_t i = 0; i < count; ++i)
        pool.finished[i].store(false);
    const std::size_t threads = std::min(static_cast<std::size_t>(jobs), count);
#if defined(_WIN32)
    std::vector<HANDLE> started;
    for (std::size_t t = 0; t < threads; ++t)
        if (HANDLE thread = CreateThread(nullptr, 0, serveThread, &pool, 0, nullptr))
            started.push_back(thread);
    if (started.empty())
        pool.serve();   // no thread to be had: the work runs here
#else
    std::vector<std::thread> started;
    for (std::size_t t = 0; t < threads; ++t)
        started.emplace_back([&pool] { pool.serve(); });
#endif
    for (std::size_t i = 0; i < count; ++i) {
        while (!pool.finished[i].load(std::memory_order_acquire))
            pause();
        done(i);
    }
#if defined(_WIN32)
    for (HANDLE thread : started) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
#else
    for (std::thread& thread : started)
        thread.join();
#endif
}

std::size_t findTaggedLine(const std::string& text, const std::string& tag, std::size_t before)
{
    std::size_t at = text.rfind(tag, before);
    while (at != std::string::npos && at != 0 && text[at - 1] != '\n')
        at = text.rfind(tag, at - 1);
    return at;
}

std::string taggedLine(const std::string& text, const std::string& tag, std::size_t before)
{
    std::size_t at = findTaggedLine(text, tag, before);
    if (at == std::string::npos)
        return "";
    std::string rest = text.substr(at + tag.size(), text.find('\n', at) - at - tag.size());
    if (!rest.empty() && rest.back() == '\r')
        rest.pop_back();
    return rest;
}

ComponentReport componentReport(const ChildOutcome& child)
{
    static const std::string tag = "! component ";
    ComponentReport report;
    std::size_t at = findTaggedLine(child.err, tag);
    if (at == std::string::npos)
        return report;
    report.sentence = "component " + taggedLine(child.err, tag, at);
    // The kind line, if any, is the one just before the sentence's.
    if (at != 0)
        report.kind = guarded::faultKindFromName(taggedLine(child.err, "! kind ", at - 1));
    return report;
}

} // namespace zorv_host
