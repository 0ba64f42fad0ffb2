// Reading memory that may be unreadable (a command text a component hands
// the host) through the system, so that a bad pointer gives an answer, not
// a fault (memory_read_posix.cpp, memory_read_windows.cpp).
#ifndef ZORV_HOST_PLATFORM_MEMORY_READ_H
#define ZORV_HOST_PLATFORM_MEMORY_READ_H

#include <cstddef>

namespace zorv_host::platform {

// The size of the pieces a read should be cut into, so that none crosses
// from readable into unreadable memory.
std::size_t readPieceSize();

// Copies up to want bytes from at (none of them past the end of at's piece)
// into out. Returns how many were copied; 0 when the memory at `at` is not
// readable; -1 when the system refused this way of reading at all (a
// sandbox), so that the caller must read directly or not at all.
long readMemory(const char* at, char* out, std::size_t want);

} // namespace zorv_host::platform

#endif
