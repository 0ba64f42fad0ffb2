// Fuzzes the quoted-token splitter with any quote byte: the first input byte
// is the quote character, the rest the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zorv_decode.h"

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Blank-separated words, with the rule that a leading blank makes an empty
// first token: the splitter's result for a text without quote characters.
std::vector<std::string> plainWords(const std::string& text)
{
    std::vector<std::string> words;
    if (text.empty())
        return words;
    if (text[0] == ' ')
        words.push_back("");
    // Only the blank separates; a tab is a token byte.
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        std::size_t start = i;
        while (i < text.size() && text[i] != ' ')
            ++i;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    return words;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    char quote = static_cast<char>(data[0]);
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    text = text.substr(0, text.find('\0'));
    decodeZORVString split(text.c_str(), quote);

    check(split.tokenCount >= 0 && split.tokenCount <= decodeZORVString::maxTokens);
    check((split.tokenCount == 0) == text.empty());
    for (int i = 0; i < decodeZORVString::maxTokens; ++i) {
        check(split.tokens[i] != nullptr);
        if (i >= split.tokenCount) {
            check(split.tokens[i] == zorv_shared_empty_text);
            continue;
        }
        // Tokens lie in text order, hold no quote byte, and are pieces of the text.
        if (i > 0)
            check(split.tokens[i] > split.tokens[i - 1]);
        std::string token(split.tokens[i]);
        check(token.find(quote) == std::string::npos);
        check(text.find(token) != std::string::npos);
    }
    if (text.find(quote) == std::string::npos) {
        std::vector<std::string> words = plainWords(text);
        if (words.size() > static_cast<std::size_t>(decodeZORVString::maxTokens))
            words.resize(decodeZORVString::maxTokens);
        check(split.tokenCount == static_cast<int32_t>(words.size()));
        for (std::size_t i = 0; i < words.size(); ++i)
            check(words[i] == split.tokens[i]);
    }
    return 0;
}
