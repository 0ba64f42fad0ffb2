// Whole pages of memory with their access set by hand, for the guarded
// blocks the host lends (pages_posix.cpp, pages_windows.cpp).
#ifndef ZORV_HOST_PLATFORM_PAGES_H
#define ZORV_HOST_PLATFORM_PAGES_H

#include <cstddef>

namespace zorv_host::platform {

// The size of a page of this system.
std::size_t pageSize();

// bytes (a multiple of pageSize()) of fresh readable and writable pages;
// null when none can be had.
char* mapPages(std::size_t bytes);

// Gives back pages that mapPages gave, all bytes of them.
void unmapPages(char* base, std::size_t bytes);

// Pages seen at two addresses, bytes (a multiple of pageSize()) at each:
// the host fills them through host, which stays readable and writable, and
// lends component, whose access protectPages sets. So lending needs no
// change of access for the host to write. Both null when none can be had.
// (A child made by fork without exec would share them with its parent.)
struct PageViews {
    char* host = nullptr;
    char* component = nullptr;
};
PageViews mapPageViews(std::size_t bytes);
// Gives back both views that mapPageViews gave, all bytes of them.
void unmapPageViews(const PageViews& views, std::size_t bytes);

enum class PageAccess { none, readOnly, readWrite };

// Sets the access of the pages from base (page-aligned) for bytes.
void protectPages(char* base, std::size_t bytes, PageAccess access);

} // namespace zorv_host::platform

#endif
