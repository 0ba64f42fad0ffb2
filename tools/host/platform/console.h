// The standard streams as the system has them (console_posix.cpp,
// console_windows.cpp).
#ifndef ZORV_HOST_PLATFORM_CONSOLE_H
#define ZORV_HOST_PLATFORM_CONSOLE_H

#include <cstdio>

namespace zorv_host::platform {

// Whether the descriptor (0 standard input, 1 standard output) is a terminal.
bool isTerminal(int descriptor);

// Takes standard output for a byte protocol: returns a stream on (a copy
// of) it, written as bytes, and points standard output at standard error,
// so that whatever else prints lands there. Null when it cannot be done.
std::FILE* takeStandardOutput();

// The C runtime file descriptor under a stream; -1 for null.
int descriptorOf(std::FILE* stream);

} // namespace zorv_host::platform

#endif
