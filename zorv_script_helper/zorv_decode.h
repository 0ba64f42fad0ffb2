// Splits a text into at most 32 blank-separated tokens; a quote character
// chosen by the caller groups a token that holds blanks. Used on host replies
// such as the instance lookup's "12 34" or "'12' '34'".
#ifndef ZORV_DECODE_H
#define ZORV_DECODE_H

#include <stdint.h>

#include "zorv_message.h"   // zorv_shared_empty_text

// Splits once, at construction, in a private copy of the text; callers then
// read tokenCount and tokens[] directly. Every slot at or beyond tokenCount
// points at zorv_shared_empty_text, never null. Token texts live as long as
// the object. Not copyable.
class decodeZORVString {
public:
    static constexpr int maxTokens = 32;

    // text may be null (no tokens); it is copied and stays the caller's, so
    // a host reply may be handed back right after. A quote left open runs to
    // the end of the text.
    decodeZORVString(const char* text, char quoteChar);
    // Frees the copy: every token pointer dies with the object.
    virtual ~decodeZORVString();

    decodeZORVString(const decodeZORVString&) = delete;
    decodeZORVString& operator=(const decodeZORVString&) = delete;

    const char* tokens[maxTokens];
    int32_t tokenCount;

private:
    char* buffer;
    char quoteChar;
};

#endif
