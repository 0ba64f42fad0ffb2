// Catching the faults of a component that brings the process down, to
// report them before the process ends (crash_posix.cpp: signals;
// crash_windows.cpp: exception handlers). Everything here may run inside a
// fault handler: no heap, no stdio.
#ifndef ZORV_HOST_PLATFORM_CRASH_H
#define ZORV_HOST_PLATFORM_CRASH_H

namespace zorv_host::platform {

// How a faulting access touched memory, where the system says.
enum class MemoryAccess { unknown, read, write };

struct CrashHandlers {
    // Called first for an access fault at address. It may end the process
    // (a fault it can explain); if it returns, the fault counts as a crash.
    void (*onAccessFault)(const void* address, MemoryAccess access);
    // Called for a crash, what naming it for people ("SIGSEGV", "exception
    // 0xc0000005"), recordKind and recordDetail for a program ("signal" and
    // "11", or "exception" and "0xc0000005"); the process then ends with
    // status 70.
    void (*onCrash)(const char* what, const char* recordKind, const char* recordDetail);
};

// Installs the handlers for the rest of the process's life. Call once.
void installCrashHandlers(const CrashHandlers& handlers);

// Writes text to standard error with the system call alone.
void writeRawError(const char* text);

// The stream of crash records: a C runtime file descriptor open for writing,
// or -1 (the default) for none. writeRawRecord writes to it with the system
// call alone, and does nothing without one.
void setRawRecordStream(int descriptor);
bool hasRawRecordStream();
void writeRawRecord(const char* text);

// Ends the process at once with status, running nothing more of it.
[[noreturn]] void exitNow(int status);

} // namespace zorv_host::platform

#endif
