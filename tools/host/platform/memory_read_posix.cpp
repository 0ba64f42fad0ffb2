#include "platform/memory_read.h"

#include <cerrno>
#include <sys/uio.h>
#include <unistd.h>

namespace zorv_host::platform {

std::size_t readPieceSize()
{
    static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096);
    return page;
}

long readMemory(const char* at, char* out, std::size_t want)
{
    struct iovec local = {out, want};
    struct iovec remote = {const_cast<char*>(at), want};
    ssize_t got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (got < 0)
        return errno == EFAULT ? 0 : -1;
    return static_cast<long>(got);
}

} // namespace zorv_host::platform
