#include "platform/crash.h"

#include <cstring>
#include <io.h>
#include <windows.h>

namespace zorv_host::platform {

namespace {

CrashHandlers installed{};
HANDLE recordStream = INVALID_HANDLE_VALUE;

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
                                            : MemoryAccess::unknown);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* info)
{
    char what[] = "exception 0x00000000";
    unsigned long code = info->ExceptionRecord->ExceptionCode;
    for (int i = 0; i < 8; ++i)
        what[sizeof what - 2 - i] = "0123456789abcdef"[(code >> (4 * i)) & 15];
    installed.onCrash(what, "exception", what + 10);   // "0x" and the code
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

void exitNow(int status) { ExitProcess(static_cast<UINT>(status)); }

} // namespace zorv_host::platform
