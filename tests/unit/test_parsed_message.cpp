// The in-place parse of event message texts, and the views over the records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zorv_script_helper.h"

namespace {

const char* const shared = zorv_shared_empty_text;

struct ParseCase {
    const char* text;
    const char* head;   // nullptr: the shared empty text
    std::vector<std::string> parts;
    const char* value;  // nullptr: the shared empty text
};

void PrintTo(const ParseCase& c, std::ostream* out) { *out << (c.text ? '"' + std::string(c.text) + '"' : "null"); }

class Parse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(Parse, SplitsHeadPartsAndValue)
{
    const ParseCase& c = GetParam();
    ParsedMessage m(c.text);
    if (c.head)
        EXPECT_STREQ(m.head, c.head);
    else
        EXPECT_EQ(m.head, shared);
    ASSERT_EQ(m.partCount, static_cast<int>(c.parts.size()));
    for (std::size_t k = 0; k < c.parts.size(); ++k) {
        EXPECT_NE(m.parts[k], shared) << "a filled part points into the buffer";
        EXPECT_EQ(m.parts[k], c.parts[k]);
    }
    for (int k = m.partCount; k < ParsedMessage::maxParts; ++k)
        EXPECT_EQ(m.parts[k], shared);
    if (c.value) {
        EXPECT_STREQ(m.value, c.value);
        EXPECT_NE(m.value, shared);
        EXPECT_EQ(m.hasValue, 1);
    } else {
        EXPECT_EQ(m.value, shared);
        EXPECT_EQ(m.hasValue, 0);
    }
    if (c.text && *c.text) {
        ASSERT_NE(m.buffer, nullptr);
        EXPECT_EQ(m.head, m.buffer);
        EXPECT_NE(m.buffer, c.text) << "the record works on its own copy";
    } else {
        EXPECT_EQ(m.buffer, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Parse,
                         ::testing::Values(ParseCase{"return=all", "return", {}, "all"},
                                           ParseCase{"abc", "abc", {}, nullptr},
                                           ParseCase{"a.b=c", "a", {"b"}, "c"},
                                           ParseCase{"a=b.c", "a", {}, "b.c"},
                                           ParseCase{"a.b", "a", {"b"}, nullptr},
                                           ParseCase{"a..b", "a", {"", "b"}, nullptr},
                                           ParseCase{".x", "", {"x"}, nullptr},
                                           ParseCase{".", "", {""}, nullptr},
                                           ParseCase{"a=", "a", {}, ""},
                                           ParseCase{"=x", "", {}, "x"},
                                           ParseCase{"x=y=z", "x", {}, "y=z"},
                                           ParseCase{"sp ace = v", "sp ace ", {}, " v"},
                                           ParseCase{"", nullptr, {}, nullptr},
                                           ParseCase{nullptr, nullptr, {}, nullptr}),
                         [](const ::testing::TestParamInfo<ParseCase>& info) {
                             return "case" + std::to_string(info.index);
                         });

std::string names(int count, const char* tail)
{
    std::string text = "n0";
    for (int i = 1; i < count; ++i)
        text += ".n" + std::to_string(i);
    return text + tail;
}

TEST(Parse, ThirtyTwoDotsFillEveryPartAndKeepTheRest)
{
    ParsedMessage m(names(33, "=v").c_str());   // 32 dots, then '=' and a value
    EXPECT_STREQ(m.head, "n0");
    EXPECT_EQ(m.partCount, 32);
    EXPECT_STREQ(m.parts[0], "n1");
    EXPECT_STREQ(m.parts[30], "n31");
    EXPECT_STREQ(m.parts[31], "n32=v") << "the last part keeps the '=' and the value";
    EXPECT_EQ(m.hasValue, 0);
    EXPECT_EQ(m.value, shared);

    ParsedMessage more(names(35, "").c_str());   // dots beyond the 32nd stay in the last part
    EXPECT_EQ(more.partCount, 32);
    EXPECT_STREQ(more.parts[31], "n32.n33.n34");
}

TEST(Parse, ThirtyOneDotsLeaveRoomForTheValue)
{
    ParsedMessage m(names(32, "=v").c_str());
    EXPECT_EQ(m.partCount, 31);
    EXPECT_STREQ(m.parts[30], "n31");
    EXPECT_EQ(m.hasValue, 1);
    EXPECT_STREQ(m.value, "v");
}

TEST(Parse, DoesNotTouchTheCallersText)
{
    char text[] = "a.b=c";
    ParsedMessage m(text);
    EXPECT_STREQ(text, "a.b=c");
}

TEST(Views, ReturnIndependentCopies)
{
    zorv_string command, value, empty;
    {
        ParsedMessage m("return=all");
        MessageView view(&m);
        command = view.command();
        value = view.value();
        ParsedMessage plain("abc");
        empty = MessageView(&plain).value();
    }
    EXPECT_STREQ(command, "return");
    EXPECT_STREQ(value, "all");
    EXPECT_STREQ(empty, "");

    ParsedMessage blank("");
    ButtonEvent event{0, 0, "1", "Monitor", &blank};
    ButtonView button(&event);
    EXPECT_STREQ(button.panel(), "1");
    EXPECT_STREQ(button.id(), "Monitor");
    EXPECT_STREQ(button.command(), "");
    EXPECT_STREQ(button.value(), "");

    ParsedMessage alarm("alarm=ack");
    ButtonEvent withMessage{0, 0, "1", "ActionAll", &alarm};
    EXPECT_STREQ(ButtonView(&withMessage).command(), "alarm");
    EXPECT_STREQ(ButtonView(&withMessage).value(), "ack");
}

// commandIs answers as the copy's == would: the whole head, byte for byte.
TEST(Views, CommandIsComparesTheWholeHeadAsEqualsWould)
{
    struct Case {
        const char* text;
        const char* word;
    };
    const Case cases[] = {
        {"source=5", "source"}, {"source=5", "sourc"},   {"source=5", "sources"}, {"source=5", "Source"},
        {"source", "source"},   {"a.b=c", "a"},          {"a.b=c", "a.b"},        {"=v", ""},
        {"", ""},               {"", "x"},               {"=v", nullptr},         {"x", nullptr},
    };
    for (const Case& c : cases) {
        ParsedMessage m(c.text);
        MessageView view(&m);
        EXPECT_EQ(view.commandIs(c.word), view.command() == c.word) << c.text << " / " << (c.word ? c.word : "null");
    }
    ParsedMessage m("activedest=3");
    EXPECT_TRUE(MessageView(&m).commandIs("activedest"));
    EXPECT_FALSE(MessageView(&m).commandIs("activedest=3"));
}

} // namespace
