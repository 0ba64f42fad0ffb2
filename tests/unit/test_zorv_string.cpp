// The text library's operations as the framework and components rely on them.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "zorv_string.h"

namespace {

std::string str(const zorv_string& s) { return std::string(static_cast<const char*>(s)); }

std::vector<std::string> items(zorv_stringlist& list)
{
    std::vector<std::string> out;
    for (zorv_stringlistIterator it = list.begin(); it != list.end(); ++it)
        out.push_back(str(*it));
    return out;
}

TEST(ZorvString, ConstructsCopiesAndAssigns)
{
    zorv_string empty;
    EXPECT_EQ(empty.length(), 0u);
    EXPECT_STREQ(empty, "");
    EXPECT_STREQ(zorv_string(static_cast<const char*>(nullptr)), "");

    zorv_string a("hello");
    zorv_string b(a);
    a = "changed and long enough to leave the inline storage";
    EXPECT_EQ(str(b), "hello");
    EXPECT_EQ(a.length(), 51u);
    b = a;
    EXPECT_EQ(str(b), str(a));
    b = b;   // self-assignment keeps the text
    EXPECT_EQ(str(b), str(a));
    b = static_cast<const char*>(b) + 8;   // assignment from its own characters
    EXPECT_EQ(str(b), "and long enough to leave the inline storage");
}

TEST(ZorvString, AppendsIncludingItself)
{
    zorv_string s("ab");
    s += zorv_string("cd");
    EXPECT_EQ(str(s), "abcd");
    for (int i = 0; i < 4; ++i)
        s += s;   // grows past the inline storage while reading itself
    std::string expected;
    for (int i = 0; i < 16; ++i)
        expected += "abcd";
    EXPECT_EQ(str(s), expected);
    EXPECT_EQ(s.length(), 64u);
}

TEST(ZorvString, IntegerForms)
{
    struct Case { int value; char fill; unsigned width; int base; const char* text; };
    const Case cases[] = {
        {1, 0, 0, 10, "1"},          {0, 0, 0, 10, "0"},       {-1, 0, 0, 10, "-1"},
        {250, 0, 0, 10, "250"},      {INT_MAX, 0, 0, 10, "2147483647"},
        {INT_MIN, 0, 0, 10, "-2147483648"},
        {255, 0, 0, 16, "ff"},       {5, '0', 3, 10, "005"},   {5, 0, 3, 10, "  5"},
        {7, 0, 0, 99, "7"},          // a base outside 2..36 is decimal
    };
    for (const Case& c : cases) {
        EXPECT_EQ(str(zorv_string(c.value, c.fill, c.width, c.base)), c.text) << c.value;
        EXPECT_EQ(str(zorv_string("<%1>").arg(c.value, c.fill, c.width, c.base)),
                  std::string("<") + c.text + ">");
    }
    EXPECT_EQ(zorv_string(9, 0, 100000, 10).length(), 1024u) << "field width is capped";
}

TEST(ZorvString, ToInt)
{
    struct Case { const char* text; int value; };
    const Case cases[] = {
        {"4", 4},           {"0", 0},               {"-1", -1},          {"+12", 12},
        {"  34 ", 34},      {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
        {"2147483648", INT_MAX}, {"99999999999999999999", INT_MAX},
        {"-99999999999999999999", INT_MIN},
        {"", 0},            {"abc", 0},             {"12abc", 0},        {"-", 0},
        {"1 2", 0},         {"0x10", 0},            {"007", 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(zorv_string(c.text).toInt(), c.value) << '"' << c.text << '"';
}

TEST(ZorvString, ArgFillsPlaceholdersInOrder)
{
    zorv_string line = zorv_string("RC %1 %2 %3 ',%4' %5")
                           .arg(12, 0, 0, 10)
                           .arg(5, 0, 0, 10)
                           .arg(3, 0, 0, 10)
                           .arg(zorv_string(""))
                           .arg(1, 0, 0, 10);
    EXPECT_EQ(str(line), "RC 12 5 3 ',' 1");

    EXPECT_EQ(str(zorv_string("no placeholder").arg(zorv_string(""))), "no placeholder");
    EXPECT_EQ(str(zorv_string("%2 then %1").arg(zorv_string("a"))), "%2 then a");
    EXPECT_EQ(str(zorv_string("%1 and %1").arg(zorv_string("x"))), "x and x");
    EXPECT_EQ(str(zorv_string("%10 %9").arg(zorv_string("n"))), "%10 n");
    EXPECT_EQ(str(zorv_string("100% %0 %1").arg(zorv_string("y"))), "100% %0 y");
    // The inserted text is not searched again by the same call.
    EXPECT_EQ(str(zorv_string("%1 %2").arg(zorv_string("%2"))), "%2 %2");

    zorv_string nine("%1%2%3%4%5%6%7%8%9");
    for (int i = 1; i <= 9; ++i)
        nine = nine.arg(i % 2 ? zorv_string(i, 0, 0, 10) : zorv_string("-"));
    EXPECT_EQ(str(nine), "1-3-5-7-9");
}

TEST(ZorvString, Comparisons)
{
    zorv_string one("1");
    EXPECT_TRUE(one == 1);
    EXPECT_FALSE(zorv_string("01") == 1);
    EXPECT_FALSE(zorv_string(" 1") == 1);
    EXPECT_TRUE(zorv_string("-7") == -7);
    EXPECT_TRUE(zorv_string("Monitor") == "Monitor");
    EXPECT_FALSE(zorv_string("monitor") == "Monitor");
    EXPECT_FALSE(zorv_string("Monitor2") == "Monitor");
    EXPECT_FALSE(zorv_string() != "");
    EXPECT_TRUE(zorv_string("x") != "");
    EXPECT_TRUE(zorv_string("a") != zorv_string("ab"));
    EXPECT_FALSE(zorv_string("ab") != zorv_string("ab"));
    EXPECT_TRUE(zorv_string("") == static_cast<const char*>(nullptr));
}

TEST(ZorvString, Concatenation)
{
    const zorv_string a("left");
    EXPECT_EQ(str(a + zorv_string("/right")), "left/right");
    EXPECT_EQ(str(a + "/x"), "left/x");
    EXPECT_EQ(str("x/" + a), "x/left");
}

TEST(ZorvString, SplitsAtTheFirstSeparator)
{
    struct Case { const char* text; const char* before; const char* after; int result; };
    const Case cases[] = {
        {"value=3", "value", "3", 5}, {"value=", "value", "", 5},   {"=x", "", "x", 0},
        {"a=b=c", "a", "b=c", 1},     {"novalue", "novalue", "", -1}, {"", "", "", -1},
    };
    for (const Case& c : cases) {
        zorv_string before("old"), after("old");
        EXPECT_EQ(zorv_string(c.text).split('=', before, after), c.result) << c.text;
        EXPECT_EQ(str(before), c.before) << c.text;
        EXPECT_EQ(str(after), c.after) << c.text;
    }
    zorv_string self("name=value");
    zorv_string rest;
    self.split('=', self, rest);   // an output may be the text itself
    EXPECT_EQ(str(self), "name");
    EXPECT_EQ(str(rest), "value");
}

TEST(ZorvStringList, BuildsFromTextAndJoins)
{
    struct Case { const char* text; std::vector<std::string> items; };
    const Case cases[] = {
        {"alm_a,alm_b,alm_c", {"alm_a", "alm_b", "alm_c"}},
        {"one", {"one"}},
        {"", {}},
        {"a,,b", {"a", "", "b"}},
        {",", {"", ""}},
    };
    for (const Case& c : cases) {
        zorv_stringlist list(zorv_string(c.text), ',');
        EXPECT_EQ(items(list), c.items) << c.text;
        if (!c.items.empty()) {
            EXPECT_EQ(str(list.toString(',')), c.text);
        }
    }
}

TEST(ZorvStringList, AppendsCopiesAndIterates)
{
    zorv_stringlist list;
    EXPECT_EQ(str(list.toString('\n')), "");
    EXPECT_FALSE(list.begin() != list.end());
    list << zorv_string("selectedbg=") << zorv_string("deselectedbg=");
    EXPECT_EQ(str(list.toString('\n')), "selectedbg=\ndeselectedbg=");

    for (int i = 0; i < 40; ++i)   // several regrowths, each item independent
        list << zorv_string(i, 0, 0, 10);
    zorv_stringlist copy(list);
    *copy.begin() = "changed";
    EXPECT_EQ(items(list).size(), 42u);
    EXPECT_EQ(items(list)[0], "selectedbg=");
    EXPECT_EQ(items(copy)[0], "changed");
    EXPECT_EQ(items(copy)[41], "39");

    zorv_stringlist self;
    self << zorv_string("first");
    for (int i = 0; i < 10; ++i)
        self << *self.begin();   // appending an item of the list itself, across regrowth
    EXPECT_EQ(items(self), std::vector<std::string>(11, "first"));
}

TEST(ZorvStringList, IteratorIncrementAdvancesInPlace)
{
    zorv_stringlist list(zorv_string("a,b"), ',');
    zorv_stringlistIterator it = list.begin();
    zorv_stringlistIterator next = ++it;
    EXPECT_EQ(str(*it), "b");
    EXPECT_EQ(str(*next), "b");
    ++it;
    EXPECT_FALSE(it != list.end());
}

} // namespace

namespace {

bool storedInline(const zorv_string& s)
{
    const char* p = s;
    const char* object = reinterpret_cast<const char*>(&s);
    return p >= object && p < object + sizeof s;
}

} // namespace

// The reserve is room the stand-in uses: texts up to the reserve's last byte
// stay inside the object, longer ones move out, and every way of growing a
// text crosses that line intact.
TEST(ZorvString, UsesItsReserveForLongerTexts)
{
    const unsigned int inlineMax = sizeof(zorv_string) - 2 * sizeof(void*) - 2 * sizeof(unsigned int) - 1;
    ASSERT_GE(inlineMax, 47u);
    struct Case {
        unsigned int length;
        bool inlined;
    } cases[] = {{0, true}, {15, true}, {16, true}, {inlineMax, true}, {inlineMax + 1, false}, {300, false}};
    for (const Case& c : cases) {
        std::string text(c.length, 'x');
        for (unsigned int i = 0; i < c.length; ++i)
            text[i] = static_cast<char>('a' + i % 26);
        zorv_string built(text.c_str());
        zorv_string assigned;
        assigned = text.c_str();
        zorv_string appended;
        for (char ch : text)
            appended += zorv_string(std::string(1, ch).c_str());
        zorv_string copied(built);
        for (const zorv_string* s : {&built, &assigned, &appended, &copied}) {
            EXPECT_EQ(str(*s), text) << "length " << c.length;
            EXPECT_EQ(s->length(), c.length);
            EXPECT_EQ(storedInline(*s), c.inlined) << "length " << c.length;
        }
    }
}
