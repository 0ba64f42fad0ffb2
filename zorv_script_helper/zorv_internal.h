// Framework helpers shared by its own sources; not part of the public headers.
#ifndef ZORV_INTERNAL_H
#define ZORV_INTERNAL_H

#include <stddef.h>

// A fresh array of n + 1 bytes holding text[0..n) and a NUL, owned by the
// caller and freed with delete[]. text is not null and holds at least n
// bytes; it stays the caller's.
char* zorv_copy_text(const char* text, size_t n);

// The integer at the start of text as C's atoi reads it (leading blanks, an
// optional sign, digits up to the first non-digit, 0 when there are none),
// but saturating at INT_MIN / INT_MAX instead of undefined beyond them.
// text is a NUL-terminated text, never null (token slots never are).
int zorv_read_int(const char* text);

#endif
