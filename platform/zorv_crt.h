// The few C-runtime facilities the shipped modules use, in one place.
//
// The Windows modules are built without a C++ standard library or SDK
// headers, so there the functions are declared by hand against the C runtime
// DLL; natively the standard headers serve. Nothing else in the modules
// includes a runtime header directly.
#ifndef ZORV_CRT_H
#define ZORV_CRT_H

#include <limits.h>
#include <stdarg.h>
#include <stddef.h>

#include "zorv_platform.h"

#if ZORV_MICROSOFT_ABI
// The Windows modules import nothing but the kernel: memory comes from the
// process heap, and the string and formatting routines are the module's own
// (platform/win32/module_runtime.cpp), so no C-runtime DLL has to be present
// on the target machine.
extern "C" {
void* __cdecl malloc(size_t size);
void __cdecl free(void* block);
void* __cdecl memcpy(void* dst, const void* src, size_t n);
void* __cdecl memset(void* dst, int value, size_t n);
int __cdecl memcmp(const void* a, const void* b, size_t n);
size_t __cdecl strlen(const char* text);
int __cdecl strcmp(const char* a, const char* b);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);
}
// Bounded printf into buffer[size] for %d, %u, %s and %%: always
// NUL-terminated, cut when too long; returns the length the full text has.
int zorv_vformat(char* buffer, size_t size, const char* format, va_list args);
inline int zorv_format(char* buffer, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = zorv_vformat(buffer, size, format, args);
    va_end(args);
    return n;
}
// What the modules use of <new>: placement new and the nothrow tag (defined
// with the allocation operators in platform/win32/module_runtime.cpp).
inline void* operator new(size_t, void* where) noexcept { return where; }
inline void operator delete(void*, void*) noexcept {}
namespace std {
struct nothrow_t {
    explicit nothrow_t() = default;
};
extern const nothrow_t nothrow;
} // namespace std
void* operator new(size_t size, const std::nothrow_t&) noexcept;
#else
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// Bounded printf into buffer[size]: always NUL-terminated, cut when too long.
inline int zorv_format(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
inline int zorv_format(char* buffer, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, size, format, args);
    va_end(args);
    return n;
}
#endif

// Called where memory cannot be had (or a size cannot be represented). Natively
// this is the allocator's own exception; the Windows modules stop the process.
[[noreturn]] inline void zorv_out_of_memory()
{
#if ZORV_MICROSOFT_ABI
    const unsigned int statusNoMemory = 0xC0000017u;
    ExitProcess(statusNoMemory);
#else
    throw std::bad_alloc();
#endif
}

#endif
