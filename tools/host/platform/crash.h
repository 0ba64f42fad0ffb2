// Catching the faults of a component that brings the process down, to
// report them before the process ends (crash_posix.cpp: signals;
// crash_windows.cpp: exception handlers). Everything here may run inside a
// fault handler: no heap, no stdio.
#ifndef ZORV_HOST_PLATFORM_CRASH_H
#define ZORV_HOST_PLATFORM_CRASH_H

#include <cstddef>
#include <cstdint>

namespace zorv_host::platform {

// How a faulting access touched memory, where the system says.
enum class MemoryAccess { unknown, read, write };

// One frame of the faulting thread's stack, innermost first: the module its
// code address lies in (a path the system keeps, valid until the process
// ends; "" where none is known) and the offset from that module's base.
// The first frame is the faulting instruction; every other one a return
// address, so its offset is one past its call.
struct CrashFrame {
    const char* module;
    std::uintptr_t offset;
};

// The faulting thread's stack as far as it could be walked.
struct CrashStack {
    static constexpr std::size_t capacity = 24;
    CrashFrame frames[capacity];
    std::size_t count = 0;
};

struct CrashHandlers {
    // Called first for an access fault at address. It may end the process
    // (a fault it can explain); if it returns, the fault counts as a crash.
    void (*onAccessFault)(const void* address, MemoryAccess access, const CrashStack& stack);
    // Called for a crash, what naming it for people ("SIGSEGV", "exception
    // 0xc0000005"), recordKind and recordDetail for a program ("signal" and
    // "11", or "exception" and "0xc0000005"); the process then ends with
    // status 70.
    void (*onCrash)(const char* what, const char* recordKind, const char* recordDetail, const CrashStack& stack);
    // Called where the system can tell a process that ran out of its time
    // (runSelf's limit) where its thread is stuck; the process then ends
    // with status 124. Null: such a process just ends.
    void (*onStuck)(const CrashStack& stack);
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

// Runs this program again with argv (argv[0] a name for people, the list
// ending in null) and waits for it to end, with system calls alone: for a
// fault handler. Its output goes where this process's goes.
void runThisProgram(const char* const* argv);

// Ends the process at once with status, running nothing more of it.
[[noreturn]] void exitNow(int status);

} // namespace zorv_host::platform

#endif
