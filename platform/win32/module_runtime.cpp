// What a module built without the static C/C++ runtime must define itself:
// the allocation operators, the pure-virtual trap, and the memory and string
// primitives the compiler may call on its own.
//
// Out of memory stops the process: these modules are built without C++
// exceptions, and none may cross into the host.
#include "zorv_crt.h"

const std::nothrow_t std::nothrow{};

void* operator new(size_t size)
{
    void* block = malloc(size ? size : 1);
    if (!block)
        zorv_out_of_memory();
    return block;
}

void* operator new[](size_t size) { return operator new(size); }

void* operator new(size_t size, const std::nothrow_t&) noexcept { return malloc(size ? size : 1); }

void* operator new[](size_t size, const std::nothrow_t&) noexcept { return malloc(size ? size : 1); }

void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { free(block); }

extern "C" int __cdecl _purecall() { abort(); }

// Plain byte loops; no_builtin keeps the compiler from turning a loop back
// into a call of the very function being defined.
extern "C" __attribute__((no_builtin)) void* __cdecl memcpy(void* dst, const void* src, size_t n)
{
    unsigned char* d = static_cast<unsigned char*>(dst);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    while (n--)
        *d++ = *s++;
    return dst;
}

extern "C" __attribute__((no_builtin)) void* __cdecl memset(void* dst, int value, size_t n)
{
    unsigned char* d = static_cast<unsigned char*>(dst);
    while (n--)
        *d++ = static_cast<unsigned char>(value);
    return dst;
}

extern "C" __attribute__((no_builtin)) int __cdecl memcmp(const void* a, const void* b, size_t n)
{
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (; n--; ++x, ++y)
        if (*x != *y)
            return *x < *y ? -1 : 1;
    return 0;
}

extern "C" __attribute__((no_builtin)) int __cdecl strcmp(const char* a, const char* b)
{
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    while (*x && *x == *y) {
        ++x;
        ++y;
    }
    return *x == *y ? 0 : (*x < *y ? -1 : 1);
}
