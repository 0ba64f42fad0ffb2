// The Windows kernel functions the shipped modules call, declared by hand
// (there is no SDK in this build). Imported from KERNEL32.dll.
#ifndef ZORV_WIN32_H
#define ZORV_WIN32_H

#include <stddef.h>

extern "C" {
__declspec(dllimport) int __stdcall DisableThreadLibraryCalls(void* module);
__declspec(dllimport) void __stdcall OutputDebugStringA(const char* text);
// Threads and waits: the test suite's faulty modules plant calls from a
// thread of their own and stalls with them.
__declspec(dllimport) void* __stdcall CreateThread(void* attributes, size_t stackSize,
                                                   unsigned long(__stdcall* start)(void*), void* parameter,
                                                   unsigned long flags, unsigned long* threadId);
__declspec(dllimport) unsigned long __stdcall WaitForSingleObject(void* handle, unsigned long milliseconds);
__declspec(dllimport) int __stdcall CloseHandle(void* handle);
__declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);
}

const unsigned long zorv_dll_process_attach = 1;
const unsigned long zorv_wait_forever = 0xFFFFFFFFu;

#endif
