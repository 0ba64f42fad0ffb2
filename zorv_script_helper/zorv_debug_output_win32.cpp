// Windows debug output: the debugger's output channel.
#include "zorv_debug_output.h"
#include "zorv_win32.h"

void zorv_debug_output(const char* text) { OutputDebugStringA(text); }
