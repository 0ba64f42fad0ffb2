#include "platform/pages.h"

#include <sys/mman.h>
#include <unistd.h>

namespace zorv_host::platform {

std::size_t pageSize()
{
    static std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

char* mapPages(std::size_t bytes)
{
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<char*>(p);
}

void unmapPages(char* base, std::size_t bytes) { munmap(base, bytes); }

namespace {

char* mapShared(int file, std::size_t bytes)
{
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    return p == MAP_FAILED ? nullptr : static_cast<char*>(p);
}

} // namespace

PageViews mapPageViews(std::size_t bytes)
{
    const int file = memfd_create("zorv-host guarded block", MFD_CLOEXEC);
    if (file < 0)
        return {};
    PageViews views;
    if (ftruncate(file, static_cast<off_t>(bytes)) == 0) {
        views.host = mapShared(file, bytes);
        views.component = mapShared(file, bytes);
    }
    close(file);   // the mappings keep the pages
    if (!views.host || !views.component) {
        unmapPageViews(views, bytes);
        return {};
    }
    return views;
}

void unmapPageViews(const PageViews& views, std::size_t bytes)
{
    if (views.host)
        munmap(views.host, bytes);
    if (views.component)
        munmap(views.component, bytes);
}

void protectPages(char* base, std::size_t bytes, PageAccess access)
{
    const int protection[] = {PROT_NONE, PROT_READ, PROT_READ | PROT_WRITE};
    mprotect(base, bytes, protection[static_cast<int>(access)]);
}

} // namespace zorv_host::platform
