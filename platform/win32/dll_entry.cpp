// The entry notification of a component DLL: per-thread notifications are
// switched off at process attach; every notification reports success. No
// component is created at load.
#include "zorv_win32.h"

extern "C" int __stdcall _DllMainCRTStartup(void* module, unsigned long reason, void*)
{
    if (reason == zorv_dll_process_attach)
        DisableThreadLibraryCalls(module);
    return 1;
}
