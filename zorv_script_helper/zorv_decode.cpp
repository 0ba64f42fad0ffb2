#include "zorv_decode.h"

#include "zorv_crt.h"
#include "zorv_internal.h"

decodeZORVString::decodeZORVString(const char* text, char quote)
    : tokenCount(0), buffer(nullptr), quoteChar(quote)
{
    for (const char*& token : tokens)
        token = zorv_shared_empty_text;
    size_t n = text ? strlen(text) : 0;
    if (n == 0)
        return;
    buffer = zorv_copy_text(text, n);

    // Separators (blanks outside quotes, every quote byte) become NUL; a token
    // starts at the first byte, after each separator, and at the closing quote
    // of an empty quoted pair. The copy holds no NUL of its own, so a NUL
    // before position i is always an overwritten separator.
    tokens[0] = buffer;
    int current = 0;
    bool inQuote = false;
    for (size_t i = 0; i < n; ++i) {
        char c = buffer[i];
        bool startsToken;
        if (c == quoteChar) {
            buffer[i] = '\0';
            bool closing = inQuote;
            inQuote = !inQuote;
            startsToken = closing && i > 0 && buffer[i - 1] == '\0';
        } else if (!inQuote && c == ' ') {
            buffer[i] = '\0';
            startsToken = false;
        } else {
            startsToken = i > 0 && buffer[i - 1] == '\0';
        }
        if (!startsToken)
            continue;
        if (current == maxTokens - 1)
            break;   // a 33rd token: the rest of the text is not examined
        tokens[++current] = buffer + i;
    }
    tokenCount = current + 1;
}

decodeZORVString::~decodeZORVString() { delete[] buffer; }
