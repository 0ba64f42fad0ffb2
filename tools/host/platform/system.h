// Facts of the system this build of zorv-host runs on (system_posix.cpp,
// system_windows.cpp).
#ifndef ZORV_HOST_PLATFORM_SYSTEM_H
#define ZORV_HOST_PLATFORM_SYSTEM_H

#include <cstdint>

namespace zorv_host::platform {

// Whether this is zorv-host.exe, the Windows build: it runs where the panel
// host does (preflight), not on the build machine (image-check).
bool windowsHost();

// The separator this system writes between a folder and a name.
char pathSeparator();

// The machine of the Windows DLLs this build loads (PE machine field): x64
// in the 64-bit test build, else i386, the panel host's.
uint16_t loadedMachine();

} // namespace zorv_host::platform

#endif
