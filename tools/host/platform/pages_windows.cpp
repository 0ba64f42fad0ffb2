#include "platform/pages.h"

#include <windows.h>

namespace zorv_host::platform {

std::size_t pageSize()
{
    static std::size_t size = [] {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return static_cast<std::size_t>(info.dwPageSize);
    }();
    return size;
}

char* mapPages(std::size_t bytes)
{
    return static_cast<char*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

// The whole reservation goes at once; Windows takes no size for that.
void unmapPages(char* base, std::size_t) { VirtualFree(base, 0, MEM_RELEASE); }

void protectPages(char* base, std::size_t bytes, PageAccess access)
{
    const DWORD protection[] = {PAGE_NOACCESS, PAGE_READONLY, PAGE_READWRITE};
    DWORD old = 0;
    VirtualProtect(base, bytes, protection[static_cast<int>(access)], &old);
}

} // namespace zorv_host::platform
