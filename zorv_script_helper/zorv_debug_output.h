// Where debugPrint's text goes: the debugger output on Windows; natively a
// replaceable sink (standard error by default, no line end added) so that
// tools and tests can see diagnostics.
#ifndef ZORV_DEBUG_OUTPUT_H
#define ZORV_DEBUG_OUTPUT_H

#include "zorv_platform.h"

// Writes one NUL-terminated text as it is, on the caller's thread. text is
// lent for the call and must not be null. debugPrint's only way out.
void zorv_debug_output(const char* text);

#if !ZORV_MICROSOFT_ABI
// Replaces the native sink; null restores standard error. Returns the sink
// that was in place. context, the caller's, is passed back to the sink
// unchanged and must outlive its use. For tools and tests: set it while no
// component runs, as nothing here locks.
typedef void (*zorv_debug_sink)(const char* text, void* context);
zorv_debug_sink zorv_set_debug_sink(zorv_debug_sink sink, void* context);
#endif

#endif
