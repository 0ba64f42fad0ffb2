// How much memory this process uses, as the system counts it
// (memory_usage_posix.cpp, memory_usage_windows.cpp).
#ifndef ZORV_HOST_PLATFORM_MEMORY_USAGE_H
#define ZORV_HOST_PLATFORM_MEMORY_USAGE_H

#include <cstddef>

namespace zorv_host::platform {

// The process's memory in KiB (Windows: committed private bytes, which Wine
// reports as the page-file usage; Linux: resident set); -1 when unknown.
long processMemoryKiB();

// Heap bytes in use in the whole process, or 0 where it cannot be measured
// (an allocator that keeps no such count, or a sanitizer's).
std::size_t heapBytesInUse();

} // namespace zorv_host::platform

#endif
