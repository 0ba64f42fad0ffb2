#include "platform/crash.h"

#include <csignal>
#include <cstring>
#include <initializer_list>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

namespace zorv_host::platform {

namespace {

CrashHandlers installed{};
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

void onCrashSignal(int signal)
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
    installed.onCrash(signal == SIGSEGV ? "SIGSEGV" : signal == SIGBUS ? "SIGBUS" : signal == SIGFPE ? "SIGFPE"
                      : signal == SIGILL ? "SIGILL" : signal == SIGABRT ? "SIGABRT" : "signal",
                      "signal", digit);
    _exit(70);
}

void onFaultSignal(int signal, siginfo_t* info, void* context)
{
    installed.onAccessFault(info->si_addr, accessOf(context));
    onCrashSignal(signal);
}

} // namespace

void installCrashHandlers(const CrashHandlers& handlers)
{
    installed = handlers;
    for (int signal : {SIGFPE, SIGILL, SIGABRT})
        std::signal(signal, onCrashSignal);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = onFaultSignal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, nullptr);
    sigaction(SIGBUS, &action, nullptr);
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

void exitNow(int status) { _exit(status); }

} // namespace zorv_host::platform
