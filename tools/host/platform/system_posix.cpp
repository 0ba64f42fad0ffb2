#include "platform/system.h"

namespace zorv_host::platform {

bool windowsHost() { return false; }

char pathSeparator() { return '/'; }

// Natively no Windows DLL is loaded: the machine described is the panel host's.
uint16_t loadedMachine() { return 0x14C; }

} // namespace zorv_host::platform
