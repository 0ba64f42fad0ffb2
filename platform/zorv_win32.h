// The Windows kernel functions the shipped modules call, declared by hand
// (there is no SDK in this build). Imported from KERNEL32.dll.
#ifndef ZORV_WIN32_H
#define ZORV_WIN32_H

extern "C" {
__declspec(dllimport) int __stdcall DisableThreadLibraryCalls(void* module);
__declspec(dllimport) void __stdcall OutputDebugStringA(const char* text);
}

const unsigned long zorv_dll_process_attach = 1;

#endif
