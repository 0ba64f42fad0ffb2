#include "platform/crash.h"

#include <cstring>
#include <io.h>
#include <windows.h>

namespace zorv_host::platform {

namespace {

CrashHandlers installed{};
HANDLE recordStream = INVALID_HANDLE_VALUE;

// The frames' module paths: they must outlive the handler, and a fault
// handler has no heap to take them from.
char moduleNames[CrashStack::capacity][MAX_PATH];

void addFrame(CrashStack& stack, ULONG_PTR address)
{
    const std::size_t i = stack.count++;
    CrashFrame& frame = stack.frames[i];
    HMODULE module = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(address), &module)
        && GetModuleFileNameA(module, moduleNames[i], MAX_PATH) > 0) {
        frame.module = moduleNames[i];
        frame.offset = address - reinterpret_cast<ULONG_PTR>(module);
    } else {
        frame.module = "";
        frame.offset = address;
    }
}

#if defined(_M_X64) || defined(__x86_64__)
// Unwinds with the modules' unwind tables, which every 64-bit image has; a
// function without an entry is a leaf, its return address on the stack top.
CrashStack captureStack(const CONTEXT& faulting)
{
    CrashStack stack;
    CONTEXT context = faulting;
    while (stack.count < CrashStack::capacity && context.Rip != 0) {
        addFrame(stack, context.Rip);
        const DWORD64 before = context.Rsp;
        DWORD64 base = 0;
        RUNTIME_FUNCTION* function = RtlLookupFunctionEntry(context.Rip, &base, nullptr);
        if (function) {
            void* handlerData = nullptr;
            DWORD64 establisher = 0;
            RtlVirtualUnwind(UNW_FLAG_NHANDLER, base, context.Rip, function, &context, &handlerData, &establisher,
                             nullptr);
        } else {
            context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
            context.Rsp += 8;
        }
        if (context.Rsp <= before)
            break;
    }
    return stack;
}
#else
// Follows the chain of saved frame pointers while it stays inside this
// thread's stack: the components keep their frame pointers; where other
// code does not, the walk ends there. The handler runs on the faulting
// thread's stack, so the committed part that holds its own locals holds
// every frame above it too.
CrashStack captureStack(const CONTEXT& faulting)
{
    CrashStack stack;
    addFrame(stack, faulting.Eip);
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(&region, &region, sizeof region) == 0)
        return stack;
    const ULONG_PTR low = reinterpret_cast<ULONG_PTR>(region.BaseAddress);
    const ULONG_PTR high = low + region.RegionSize;
    ULONG_PTR frame = faulting.Ebp;
    while (stack.count < CrashStack::capacity && frame >= low && frame + 2 * sizeof(ULONG_PTR) <= high
           && frame % sizeof(ULONG_PTR) == 0) {
        const ULONG_PTR* words = reinterpret_cast<const ULONG_PTR*>(frame);
        if (words[1] == 0)
            break;
        addFrame(stack, words[1]);
        if (words[0] <= frame)
            break;
        frame = words[0];
    }
    return stack;
}
#endif

// First in line for every exception: an access violation on memory the
// handler can explain ends the process there; anything else goes on.
LONG WINAPI onGuardFault(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
        ULONG_PTR kind = record->ExceptionInformation[0];
        installed.onAccessFault(reinterpret_cast<const void*>(record->ExceptionInformation[1]),
                                kind == 1   ? MemoryAccess::write
                                : kind == 0 ? MemoryAccess::read
                                            : MemoryAccess::unknown,
                                captureStack(*info->ContextRecord));
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* info)
{
    char what[] = "exception 0x00000000";
    unsigned long code = info->ExceptionRecord->ExceptionCode;
    for (int i = 0; i < 8; ++i)
        what[sizeof what - 2 - i] = "0123456789abcdef"[(code >> (4 * i)) & 15];
    installed.onCrash(what, "exception", what + 10, captureStack(*info->ContextRecord));   // "0x" and the code
    ExitProcess(70);
}

} // namespace

void installCrashHandlers(const CrashHandlers& handlers)
{
    installed = handlers;
    AddVectoredExceptionHandler(1, onGuardFault);
    SetUnhandledExceptionFilter(onUnhandledException);
}

void writeRawError(const char* text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

void setRawRecordStream(int descriptor)
{
    recordStream = descriptor < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}

bool hasRawRecordStream() { return recordStream != INVALID_HANDLE_VALUE; }

void writeRawRecord(const char* text)
{
    if (recordStream == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(recordStream, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

void runThisProgram(const char* const* argv)
{
    // The command line in a buffer of its own: a fault handler takes no heap.
    static char command[32768];
    static char self[MAX_PATH];
    if (GetModuleFileNameA(nullptr, self, MAX_PATH) == 0)
        return;
    std::size_t used = 0;
    auto append = [&](const char* text) {
        for (; *text && used + 1 < sizeof command; ++text)
            command[used++] = *text;
    };
    // Quoted words: paths with blanks, no quotes inside (module paths have none).
    append("\"");
    append(self);
    append("\"");
    for (const char* const* arg = argv + 1; *arg; ++arg) {
        append(" \"");
        append(*arg);
        append("\"");
    }
    command[used] = '\0';
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(self, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void exitNow(int status) { ExitProcess(static_cast<UINT>(status)); }

} // namespace zorv_host::platform
