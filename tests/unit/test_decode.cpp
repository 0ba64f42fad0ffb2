// The quoted-token splitter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zorv_script_helper.h"

namespace {

std::vector<std::string> tokensOf(const decodeZORVString& d)
{
    return std::vector<std::string>(d.tokens, d.tokens + d.tokenCount);
}

std::string words(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? " w" : "w") + std::to_string(i);
    return text;
}

std::vector<std::string> wordList(int count)
{
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i)
        out.push_back("w" + std::to_string(i));
    return out;
}

struct SplitCase {
    std::string text;
    std::vector<std::string> tokens;
};

TEST(Decode, SplitsWithTheSingleQuote)
{
    const SplitCase cases[] = {
        {"'12' '34'", {"", "12", "34"}},
        {"12 34", {"12", "34"}},
        {"12 34 'x y'", {"12", "34", "x y"}},
        {"a b  c", {"a", "b", "c"}},
        {"  a b", {"", "a", "b"}},
        {"a b ", {"a", "b"}},
        {"a '' b", {"a", "", "b"}},
        {"''", {"", ""}},
        {"'a b'", {"", "a b"}},
        {"'a'b", {"", "a", "b"}},
        {"ab'c d'e", {"ab", "c d", "e"}},
        {"a 'b c", {"a", "b c"}},
        {" ", {""}},
        {"tab\tis a byte", {"tab\tis", "a", "byte"}},
        {words(32), wordList(32)},
        {words(33), wordList(32)},
        {words(40), wordList(32)},
    };
    for (const SplitCase& c : cases) {
        decodeZORVString d(c.text.c_str(), '\'');
        EXPECT_EQ(tokensOf(d), c.tokens) << '"' << c.text << '"';
        for (int i = d.tokenCount; i < decodeZORVString::maxTokens; ++i)
            EXPECT_EQ(d.tokens[i], zorv_shared_empty_text) << '"' << c.text << "\" slot " << i;
    }
}

TEST(Decode, NullOrEmptyTextHasNoTokens)
{
    for (const char* text : {static_cast<const char*>(nullptr), ""}) {
        decodeZORVString d(text, '\'');
        EXPECT_EQ(d.tokenCount, 0);
        for (const char* token : d.tokens)
            EXPECT_EQ(token, zorv_shared_empty_text);
    }
}

TEST(Decode, QuoteCharacterIsTheCallers)
{
    decodeZORVString d("it's \"a b\" c", '"');
    EXPECT_EQ(tokensOf(d), (std::vector<std::string>{"it's", "a b", "c"}));
}

TEST(Decode, ThirtySecondTokenEndsAtItsSeparator)
{
    std::string text = words(31) + " 'last one' 'beyond'";
    decodeZORVString d(text.c_str(), '\'');
    ASSERT_EQ(d.tokenCount, 32);
    EXPECT_STREQ(d.tokens[31], "last one");
}

TEST(Decode, KeepsTheCallersTextIntact)
{
    char text[] = "'a' b";
    decodeZORVString d(text, '\'');
    EXPECT_STREQ(text, "'a' b");
}

} // namespace
