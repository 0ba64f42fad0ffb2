// What a module built without any C/C++ runtime must define itself: the
// allocation operators over the process heap, the pure-virtual trap, the
// memory and string primitives (the compiler may call some on its own) and a
// small formatter.
//
// Out of memory stops the process: these modules are built without C++
// exceptions, and none may cross into the host.
#include "zorv_crt.h"

extern "C" {
__declspec(dllimport) void* __stdcall GetProcessHeap(void);
__declspec(dllimport) void* __stdcall HeapAlloc(void* heap, unsigned long flags, size_t bytes);
__declspec(dllimport) int __stdcall HeapFree(void* heap, unsigned long flags, void* block);
}

// The process heap serialises its own calls; a block of 0 bytes is valid.
extern "C" void* __cdecl malloc(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

extern "C" void __cdecl free(void* block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

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

extern "C" int __cdecl _purecall() { zorv_out_of_memory(); }

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

extern "C" __attribute__((no_builtin)) size_t __cdecl strlen(const char* text)
{
    const char* p = text;
    while (*p)
        ++p;
    return static_cast<size_t>(p - text);
}

namespace {

// Appends to a bounded buffer, counting what the whole text would need.
struct Output {
    char* buffer;
    size_t size;
    size_t length;
    void put(char c)
    {
        if (length + 1 < size)
            buffer[length] = c;
        ++length;
    }
    void put(const char* text)
    {
        while (*text)
            put(*text++);
    }
    void decimal(unsigned int magnitude, bool negative)
    {
        char digits[12];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + magnitude % 10u);
            magnitude /= 10u;
        } while (magnitude != 0);
        if (negative)
            put('-');
        while (n > 0)
            put(digits[--n]);
    }
};

} // namespace

int zorv_vformat(char* buffer, size_t size, const char* format, va_list args)
{
    Output out{buffer, size, 0};
    for (const char* p = format; *p; ++p) {
        if (*p != '%' || p[1] == '\0') {
            out.put(*p);
            continue;
        }
        switch (*++p) {
        case 'd': {
            int value = va_arg(args, int);
            out.decimal(value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value),
                        value < 0);
            break;
        }
        case 'u':
            out.decimal(va_arg(args, unsigned int), false);
            break;
        case 's': {
            const char* text = va_arg(args, const char*);
            out.put(text ? text : "(null)");
            break;
        }
        case '%':
            out.put('%');
            break;
        default:   // not a conversion of ours: written as it stands
            out.put('%');
            out.put(*p);
        }
    }
    if (size > 0)
        buffer[out.length < size ? out.length : size - 1] = '\0';
    return static_cast<int>(out.length);
}
