#include "platform/memory_usage.h"

#include <fstream>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define ZORV_HOST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZORV_HOST_ASAN 1
#endif
#endif

#if !defined(ZORV_HOST_ASAN) && defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zorv_host::platform {

long processMemoryKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    if (!(statm >> pages >> resident))
        return -1;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::size_t heapBytesInUse()
{
#if defined(ZORV_HOST_ASAN)
    // The sanitizer's allocator bypasses mallinfo and its own figures count
    // its quarantine; there LeakSanitizer reports a leak when the process
    // ends instead.
    return 0;
#elif defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    return mallinfo2().uordblks;
#else
    return 0;
#endif
}

} // namespace zorv_host::platform
