// Collects what the framework writes to its debug output, for one scope.
#ifndef ZORV_TEST_DEBUG_CAPTURE_H
#define ZORV_TEST_DEBUG_CAPTURE_H

#include <string>
#include <vector>

#include "zorv_debug_output.h"

class DebugCapture {
public:
    DebugCapture() { previous_ = zorv_set_debug_sink(&DebugCapture::sink, this); }
    ~DebugCapture() { zorv_set_debug_sink(previous_, nullptr); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> lines;

private:
    static void sink(const char* text, void* self) { static_cast<DebugCapture*>(self)->lines.push_back(text); }
    zorv_debug_sink previous_;
};

#endif
