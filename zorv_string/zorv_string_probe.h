// A check, run by a component before it makes its first object, that the
// text library it was loaded with fits the storage reserves of our
// declarations (zorv_string.h). The component sets aside sizeof bytes for
// each text, list and iterator; a library whose objects are larger would
// silently write over the component's neighbouring memory.
#ifndef ZORV_STRING_PROBE_H
#define ZORV_STRING_PROBE_H

struct zorv_probe_result {
    bool fits;                // every object stayed inside its reserve
    const char* className;    // the first class found writing beyond it; null when fits
    unsigned int bytesUsed;   // the bytes that class was seen to use (at least reserve + 1)
    unsigned int reserve;     // that class's reserve
};

// Bytes beyond each object's reserve that are watched. A library object up
// to this much larger only ever writes into watched heap storage.
const unsigned int zorv_probe_guard_bytes = 4096;

// Runs each operation of the library a component uses (constructions,
// assignment, append, arg, split, list construction and <<, toString,
// begin/end/++) on objects placed in heap storage whose bytes beyond the
// reserve hold a known pattern, twice with two patterns, and reports the
// class whose object reached furthest beyond its reserve. Without memory for
// the storage it reports fits = false with className "memory" and 0 bytes.
zorv_probe_result zorv_probe_text_library();

// The one debug line a refusing component writes, NUL-terminated into
// buffer[size] (cut when too long), e.g. "Selvarin: zorv_string of the text
// library uses 80 bytes, more than the 64 reserved; no component is made".
void zorv_probe_describe(const zorv_probe_result& result, const char* component, char* buffer,
                         unsigned int size);

#endif
