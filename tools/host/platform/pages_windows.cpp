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

PageViews mapPageViews(std::size_t bytes)
{
    const unsigned long long size = bytes;
    HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(size >> 32),
                                        static_cast<DWORD>(size), nullptr);
    if (!section)
        return {};
    PageViews views;
    views.host = static_cast<char*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, bytes));
    views.component = static_cast<char*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, bytes));
    CloseHandle(section);   // the views keep the pages
    if (!views.host || !views.component) {
        unmapPageViews(views, bytes);
        return {};
    }
    return views;
}

void unmapPageViews(const PageViews& views, std::size_t)
{
    if (views.host)
        UnmapViewOfFile(views.host);
    if (views.component)
        UnmapViewOfFile(views.component);
}

void protectPages(char* base, std::size_t bytes, PageAccess access)
{
    const DWORD protection[] = {PAGE_NOACCESS, PAGE_READONLY, PAGE_READWRITE};
    DWORD old = 0;
    VirtualProtect(base, bytes, protection[static_cast<int>(access)], &old);
}

} // namespace zorv_host::platform
