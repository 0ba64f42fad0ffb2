#include "platform/system.h"

namespace zorv_host::platform {

bool windowsHost() { return true; }

char pathSeparator() { return '\\'; }

uint16_t loadedMachine() { return sizeof(void*) == 8 ? 0x8664 : 0x14C; }

} // namespace zorv_host::platform
