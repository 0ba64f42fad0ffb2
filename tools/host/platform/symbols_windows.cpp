#include "platform/symbols.h"

#include <windows.h>
#include <dbghelp.h>

namespace zorv_host::platform {

namespace {

// dbghelp serves one thread at a time; validate -j asks from several.
volatile LONG busy = 0;

struct OneAtATime {
    OneAtATime()
    {
        while (InterlockedExchange(&busy, 1) != 0)
            Sleep(1);
    }
    ~OneAtATime() { InterlockedExchange(&busy, 0); }
};

// The module is read from its file, not loaded: any base will do.
const DWORD64 readBase = 0x10000000;

// The calls for code inlined into its caller, which the tool chain's
// headers lack and an older dbghelp lacks too: looked up, not imported.
struct InlineCalls {
    using Count = DWORD(WINAPI*)(HANDLE, DWORD64);
    using Query = BOOL(WINAPI*)(HANDLE, DWORD64, DWORD, DWORD64, DWORD64, LPDWORD, LPDWORD);
    using Symbol = BOOL(WINAPI*)(HANDLE, DWORD64, ULONG, PDWORD64, PSYMBOL_INFO);
    using Line = BOOL(WINAPI*)(HANDLE, DWORD64, ULONG, DWORD64, PDWORD, PIMAGEHLP_LINE64);
    Count count = nullptr;
    Query query = nullptr;
    Symbol symbol = nullptr;
    Line line = nullptr;

    InlineCalls()
    {
        HMODULE dbghelp = GetModuleHandleA("dbghelp.dll");
        if (!dbghelp)
            return;
        count = reinterpret_cast<Count>(reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymAddrIncludeInlineTrace")));
        query = reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymQueryInlineTrace")));
        symbol = reinterpret_cast<Symbol>(reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymFromInlineContext")));
        line = reinterpret_cast<Line>(reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymGetLineFromInlineContext")));
    }
    bool available() const { return count && query && symbol && line; }
};

union SymbolBuffer {
    SYMBOL_INFO info;
    char bytes[sizeof(SYMBOL_INFO) + 512];
};

// The innermost of the functions inlined at address, if any: a crash in a
// small helper the optimiser folded into its caller is reported there.
bool innermostInlined(HANDLE session, DWORD64 address, SourcePlace& place)
{
    static const InlineCalls calls;
    if (!calls.available() || calls.count(session, address) == 0)
        return false;
    DWORD context = 0, frameIndex = 0;
    if (!calls.query(session, address, 0, address, address, &context, &frameIndex))
        return false;
    SymbolBuffer symbol{};
    symbol.info.SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol.info.MaxNameLen = 512;
    DWORD64 displacement = 0;
    IMAGEHLP_LINE64 line{};
    line.SizeOfStruct = sizeof line;
    DWORD lineDisplacement = 0;
    if (!calls.symbol(session, address, context, &displacement, &symbol.info)
        || !calls.line(session, address, context, 0, &lineDisplacement, &line) || !line.FileName)
        return false;
    place.function = symbol.info.Name;
    place.file = line.FileName;
    place.line = static_cast<int>(line.LineNumber);
    return true;
}

SourcePlace placeOf(HANDLE session, DWORD64 address)
{
    SourcePlace place;
    if (innermostInlined(session, address, place))
        return place;
    SymbolBuffer symbol{};
    symbol.info.SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol.info.MaxNameLen = 512;
    DWORD64 displacement = 0;
    if (SymFromAddr(session, address, &displacement, &symbol.info))
        place.function = symbol.info.Name;
    IMAGEHLP_LINE64 line{};
    line.SizeOfStruct = sizeof line;
    DWORD lineDisplacement = 0;
    if (SymGetLineFromAddr64(session, address, &lineDisplacement, &line) && line.FileName) {
        place.file = line.FileName;
        place.line = static_cast<int>(line.LineNumber);
    }
    return place;
}

} // namespace

std::optional<std::vector<SourcePlace>> symbolize(const std::string& module, const std::vector<std::uintptr_t>& offsets,
                                                  std::string& why)
{
    OneAtATime lock;
    // Any unique value names a session that reads files only.
    static char sessionTag;
    HANDLE session = &sessionTag;
    SymSetOptions(SYMOPT_LOAD_LINES | SYMOPT_UNDNAME | SYMOPT_FAIL_CRITICAL_ERRORS);
    if (!SymInitialize(session, nullptr, FALSE)) {
        why = "dbghelp could not start (Windows error " + std::to_string(GetLastError()) + ")";
        return std::nullopt;
    }
    std::optional<std::vector<SourcePlace>> places;
    const DWORD64 base = SymLoadModuleEx(session, nullptr, module.c_str(), nullptr, readBase, 0, nullptr, 0);
    IMAGEHLP_MODULE64 info{};
    info.SizeOfStruct = sizeof info;
    if (base == 0) {
        why = "dbghelp could not read " + module + " (Windows error " + std::to_string(GetLastError()) + ")";
    } else if (!SymGetModuleInfo64(session, base, &info) || info.SymType == SymNone || info.SymType == SymExport) {
        why = "no symbols for " + module + " (its PDB is not beside it)";
    } else {
        places.emplace();
        for (std::uintptr_t offset : offsets)
            places->push_back(placeOf(session, base + offset));
    }
    SymCleanup(session);
    return places;
}

} // namespace zorv_host::platform
