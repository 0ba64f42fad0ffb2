#include "alloc_counter.h"

#include <malloc.h>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);
}

namespace {
// The benchmarks run on one thread.
std::size_t allocationCount = 0;
std::size_t live = 0;

void* counted(void* block)
{
    if (block) {
        ++allocationCount;
        live += malloc_usable_size(block);
    }
    return block;
}
} // namespace

extern "C" void* malloc(std::size_t size) { return counted(__libc_malloc(size)); }

extern "C" void* calloc(std::size_t count, std::size_t size) { return counted(__libc_calloc(count, size)); }

extern "C" void free(void* block)
{
    if (block)
        live -= malloc_usable_size(block);
    __libc_free(block);
}

extern "C" void* realloc(void* block, std::size_t size)
{
    if (block)
        live -= malloc_usable_size(block);
    return counted(__libc_realloc(block, size));
}

namespace alloc_counter {
std::size_t allocations() { return allocationCount; }
std::size_t liveBytes() { return live; }
} // namespace alloc_counter
