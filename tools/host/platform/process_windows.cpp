#include "platform/process.h"

#include <atomic>
#include <memory>
#include <process.h>
#include <windows.h>

namespace zorv_host {

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

struct Pipes {
    HANDLE outRead, outWrite, errRead, errWrite;
};

// Starts the child with the write ends of both pipes as its output; the
// parent's copies of those ends are closed again before anyone else starts
// a child.
bool startChild(const std::string& command, Pipes& pipes, PROCESS_INFORMATION& process, DWORD& startError)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    std::unique_ptr<StartLock> starting(new StartLock);
    CreatePipe(&pipes.outRead, &pipes.outWrite, &inherit, 0);
    CreatePipe(&pipes.errRead, &pipes.errWrite, &inherit, 0);
    SetHandleInformation(pipes.outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(pipes.errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = pipes.outWrite;
    startup.hStdError = pipes.errWrite;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    const bool started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                        &process) != 0;
    startError = started ? 0 : GetLastError();
    CloseHandle(pipes.outWrite);
    CloseHandle(pipes.errWrite);
    return started;
}

} // namespace

ChildOutcome runSelf(const std::vector<std::string>& args, double timeoutSeconds)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::vector<std::string> argv = {self};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, timeoutSeconds);
}

ChildOutcome runProgram(const std::vector<std::string>& argv, double timeoutSeconds)
{
    ChildOutcome outcome;
    if (argv.empty())
        return outcome;
    std::string command;
    for (const std::string& arg : argv)
        command += (command.empty() ? "" : " ") + quoteArgument(arg);
    Pipes pipes;
    PROCESS_INFORMATION process{};
    DWORD startError = 0;
    outcome.started = startChild(command, pipes, process, startError);
    if (!outcome.started) {
        CloseHandle(pipes.outRead);
        CloseHandle(pipes.errRead);
        outcome.description = "could not start a child process (Windows error " + std::to_string(startError) + ")";
        return outcome;
    }
    std::pair<HANDLE, std::string*> outTarget{pipes.outRead, &outcome.out}, errTarget{pipes.errRead, &outcome.err};
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
    for (HANDLE h : {readers[0], readers[1], pipes.outRead, pipes.errRead, process.hProcess, process.hThread})
        CloseHandle(h);
    return outcome;
}

namespace platform {

std::string executablePath()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    return std::string(path, length);
}

void setEnvironment(const std::string& name, const std::string& value)
{
    SetEnvironmentVariableA(name.c_str(), value.c_str());
}

void replaceProcess(const std::vector<std::string>& args)
{
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    _execvp(argv[0], argv.data());
}

} // namespace platform
} // namespace zorv_host
