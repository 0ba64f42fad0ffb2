// Native debug output: a replaceable sink, standard error by default.
#include <cstdio>

#include "zorv_debug_output.h"

namespace {

void writeToStandardError(const char* text, void*)
{
    std::fputs(text, stderr);
    std::fflush(stderr);
}

zorv_debug_sink currentSink = writeToStandardError;
void* currentContext = nullptr;

} // namespace

void zorv_debug_output(const char* text) { currentSink(text, currentContext); }

zorv_debug_sink zorv_set_debug_sink(zorv_debug_sink sink, void* context)
{
    zorv_debug_sink previous = currentSink;
    currentSink = sink ? sink : writeToStandardError;
    currentContext = sink ? context : nullptr;
    return previous;
}
