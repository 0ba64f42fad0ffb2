#include "platform/crash.h"

#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <execinfo.h>
#include <initializer_list>
#include <signal.h>
#include <cerrno>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

namespace zorv_host::platform {

namespace {

CrashHandlers installed{};
// What a parent sends a child that ran out of time (process_posix.cpp).
const int stuckSignal = SIGUSR2;
int recordStream = -1;

// The page-fault error code, where the machine's context carries it: bit 1
// set for a write.
MemoryAccess accessOf(void* context)
{
#if defined(REG_ERR)
    return (static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_ERR] & 2) ? MemoryAccess::write
                                                                               : MemoryAccess::read;
#else
    (void)context;
    return MemoryAccess::unknown;
#endif
}

// The faulting instruction, from the machine's context.
const void* faultingInstruction(void* context)
{
    const auto& registers = static_cast<ucontext_t*>(context)->uc_mcontext.gregs;
#if defined(REG_RIP)
    return reinterpret_cast<const void*>(registers[REG_RIP]);
#elif defined(REG_EIP)
    return reinterpret_cast<const void*>(registers[REG_EIP]);
#else
    (void)registers;
    return nullptr;
#endif
}

void addFrame(CrashStack& stack, const void* address)
{
    CrashFrame& frame = stack.frames[stack.count++];
    Dl_info found;
    if (dladdr(address, &found) && found.dli_fname && found.dli_fbase) {
        frame.module = found.dli_fname;
        frame.offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(found.dli_fbase);
    } else {
        frame.module = "";
        frame.offset = reinterpret_cast<std::uintptr_t>(address);
    }
}

// The walk starts in this handler; the interrupted code follows the
// signal's trampoline, at the faulting instruction itself. Where the walk
// does not reach it, the faulting instruction alone is known.
CrashStack captureStack(void* context)
{
    CrashStack stack;
    const void* faulting = faultingInstruction(context);
    void* walked[CrashStack::capacity + 16];
    const int depth = backtrace(walked, static_cast<int>(sizeof walked / sizeof *walked));
    int from = 0;
    while (from < depth && walked[from] != faulting)
        ++from;
    if (from == depth) {
        if (faulting)
            addFrame(stack, faulting);
        return stack;
    }
    for (int i = from; i < depth && stack.count < CrashStack::capacity; ++i)
        addFrame(stack, walked[i]);
    return stack;
}

const char* signalName(int signal)
{
    return signal == SIGSEGV ? "SIGSEGV" : signal == SIGBUS ? "SIGBUS" : signal == SIGFPE ? "SIGFPE"
           : signal == SIGILL ? "SIGILL" : signal == SIGABRT ? "SIGABRT" : "signal";
}

[[noreturn]] void reportCrash(int signal, const CrashStack& stack)
{
    // The number in decimal, without stdio.
    char number[12];
    char* digit = number + sizeof number - 1;
    *digit = '\0';
    unsigned value = signal > 0 ? static_cast<unsigned>(signal) : 0;
    do {
        *--digit = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && digit > number);
    installed.onCrash(signalName(signal), "signal", digit, stack);
    _exit(70);
}

void onCrashSignal(int signal, siginfo_t*, void* context)
{
    reportCrash(signal, captureStack(context));
}

void onStuckSignal(int, siginfo_t*, void* context)
{
    installed.onStuck(captureStack(context));
    _exit(124);
}

void onFaultSignal(int signal, siginfo_t* info, void* context)
{
    const CrashStack stack = captureStack(context);
    installed.onAccessFault(info->si_addr, accessOf(context), stack);
    reportCrash(signal, stack);
}

} // namespace

void installCrashHandlers(const CrashHandlers& handlers)
{
    installed = handlers;
    // The first walk loads the unwinder: done here, not in a fault handler.
    void* warmUp[1];
    backtrace(warmUp, 1);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    action.sa_sigaction = onCrashSignal;
    for (int signal : {SIGFPE, SIGILL, SIGABRT})
        sigaction(signal, &action, nullptr);
    action.sa_sigaction = onFaultSignal;
    sigaction(SIGSEGV, &action, nullptr);
    sigaction(SIGBUS, &action, nullptr);
    if (handlers.onStuck) {
        action.sa_sigaction = onStuckSignal;
        sigaction(stuckSignal, &action, nullptr);
    }
}

void writeRawError(const char* text)
{
    ssize_t ignored = write(2, text, std::strlen(text));
    (void)ignored;
}

void setRawRecordStream(int descriptor) { recordStream = descriptor; }

bool hasRawRecordStream() { return recordStream >= 0; }

void writeRawRecord(const char* text)
{
    if (recordStream < 0)
        return;
    ssize_t ignored = write(recordStream, text, std::strlen(text));
    (void)ignored;
}

void runThisProgram(const char* const* argv)
{
    // vfork runs no fork handlers: the heap's locks may be held.
    const pid_t child = vfork();
    if (child == 0) {
        execv("/proc/self/exe", const_cast<char* const*>(argv));
        _exit(127);
    }
    if (child > 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

void exitNow(int status) { _exit(status); }

} // namespace zorv_host::platform
