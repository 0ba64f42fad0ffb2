#include "platform/memory_read.h"

#include <algorithm>
#include <cstring>
#include <windows.h>

namespace zorv_host::platform {

namespace {

// How many of the want bytes at `at` are readable, as the system's record of
// their region says. ReadProcessMemory on this process would tell as well,
// but under Wine each call is a round trip through the server that stops the
// process (a third of a millisecond, most of an event's cost); the query is
// answered inside the process.
std::size_t readableBytes(const char* at, std::size_t want)
{
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(at, &region, sizeof region) != sizeof region || region.State != MEM_COMMIT)
        return 0;
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ
                           | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (!(region.Protect & readable) || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)))
        return 0;
    const std::size_t left =
        static_cast<std::size_t>(static_cast<const char*>(region.BaseAddress) + region.RegionSize - at);
    return std::min(left, want);
}

} // namespace

std::size_t readPieceSize() { return 4096; }

long readMemory(const char* at, char* out, std::size_t want)
{
    const std::size_t got = readableBytes(at, want);
    if (got > 0)
        std::memcpy(out, at, got);
    return static_cast<long>(got);
}

} // namespace zorv_host::platform
