// Counts heap allocations of the whole process (the benchmark replaces
// malloc and friends; operator new and the text library go through them).
#ifndef ZORV_BENCH_ALLOC_COUNTER_H
#define ZORV_BENCH_ALLOC_COUNTER_H

#include <cstddef>

namespace alloc_counter {

std::size_t allocations();   // calls of malloc, calloc and realloc so far
std::size_t liveBytes();     // usable bytes of the blocks not freed yet

} // namespace alloc_counter

#endif
