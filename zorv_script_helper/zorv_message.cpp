#include "zorv_message.h"

#include "zorv_crt.h"
#include "zorv_internal.h"

const char zorv_shared_empty_text[1] = {'\0'};

char* zorv_copy_text(const char* text, size_t n)
{
    char* copy = new char[n + 1];
    memcpy(copy, text, n);
    copy[n] = '\0';
    return copy;
}

ParsedMessage::ParsedMessage(const char* text)
    : head(zorv_shared_empty_text), value(zorv_shared_empty_text), partCount(0), hasValue(0),
      buffer(nullptr)
{
    for (const char*& part : parts)
        part = zorv_shared_empty_text;
    size_t n = text ? strlen(text) : 0;
    if (n == 0)
        return;
    buffer = zorv_copy_text(text, n);

    // One pass: dots cut path parts until the first '='; the value is the
    // whole rest. After the 32nd dot the last part keeps the rest as it is.
    for (size_t i = 0; i < n && partCount < maxParts; ++i) {
        char c = buffer[i];
        if (c != '.' && c != '=')
            continue;
        buffer[i] = '\0';
        if (c == '.') {
            parts[partCount++] = buffer + i + 1;
        } else {
            hasValue = 1;
            value = buffer + i + 1;
            break;
        }
    }
    head = buffer;
}

ParsedMessage::~ParsedMessage() { delete[] buffer; }
