// The host command channel: exact lines, results, and the handback books.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "debug_capture.h"
#include "hosted_component_test.h"
#include "sim_host.h"
#include "test_component.h"
#include "zorv_internal.h"

using zorv_host::SimHost;
using Lines = std::vector<std::string>;

namespace {

class Commands : public HostedComponentTest {
protected:
    Lines sent() { return host.takeCommands(); }
};

TEST_F(Commands, FormLinesExactly)
{
    component.textPut("statesheet", "sel", "1", "Ident");
    component.textPut("p", "", "", "");
    component.routeCrosspoint(12, 5, 3, "", true);
    component.routeCrosspoint(-1, 0, 2147483647, "tail %5", false);
    component.timerStart(1, 250);
    component.timerStart(1, 0);
    component.timerStop(7);
    component.timerStart(INT_MIN, INT_MIN);
    component.notifyHost("activate=34");
    component.notifyHost("it's");
    component.detachHost();
    EXPECT_EQ(sent(), (Lines{"TP 'statesheet=sel' '1' 'Ident'",
                             "TP 'p=' '' ''",
                             "RC 12 5 3 ',' 1",
                             "RC -1 0 2147483647 ',tail %5' 0",
                             "ET 1 250",
                             "ET 1",
                             "ET 7",
                             "ET -2147483648 -2147483648",
                             "HN 'activate=34'",
                             "HN 'it's'",
                             "AS"}));
}

TEST_F(Commands, PanelShowPathsAndResult)
{
    EXPECT_TRUE(component.panelShow("1", "mymon.zorv_ui", ""));
    EXPECT_TRUE(component.panelShow("1", "mymon.zorv_ui", "extra"));
    TestComponent based(&host, "C:/panels");
    EXPECT_TRUE(based.panelShow("1", "mymon.zorv_ui", ""));
    EXPECT_TRUE(based.panelShow("2", "x.zorv_ui", "third"));
    host.addRule("PS *", std::nullopt);
    EXPECT_FALSE(component.panelShow("1", "mymon.zorv_ui", ""));
    EXPECT_EQ(sent(), (Lines{"PS '1' 'mymon.zorv_ui'",
                             "PS '1' 'mymon.zorv_ui' 'extra'",
                             "PS '1' 'C:/panels/mymon.zorv_ui'",
                             "PS '2' 'C:/panels/x.zorv_ui' 'third'",
                             "PS '1' 'mymon.zorv_ui'"}));
    EXPECT_EQ(host.handbacks(), 0u) << "the layout result is never handed back";
}

TEST_F(Commands, TextGetReadsTheNamedValue)
{
    struct Case { const char* property; std::optional<std::string> reply; const char* out; bool diagnostic; };
    const Case cases[] = {
        {"value", "value=3", "3", false},
        {"value", "Value=3", "", true},
        {"value", "value=", "", false},
        {"value", "valu=3", "", true},
        {"value", "value", "", false},   // no '=': the name part is the whole reply
        {"value", "values=3", "", true},
        {"all", "anything=at all", "anything=at all", false},
        {"value", std::nullopt, "", false},
    };
    for (const Case& c : cases) {
        host.clearRules();
        host.addRule("TG *", c.reply);
        DebugCapture debug;
        zorv_string out("stale");
        component.textGet(c.property, "1", "alm_x", out);
        EXPECT_STREQ(out, c.out) << (c.reply ? *c.reply : "null");
        EXPECT_EQ(debug.lines.size(), c.diagnostic ? 1u : 0u) << (c.reply ? *c.reply : "null");
        EXPECT_EQ(sent(), Lines{"TG '1' 'alm_x' '" + std::string(c.property) + "'"});
    }
    EXPECT_EQ(host.handbacks(), 7u) << "each non-null reply once, the null one never";
}

TEST_F(Commands, TextGetDiagnosticNamesBothProperties)
{
    host.addRule("TG *", std::string("Value=3"));
    DebugCapture debug;
    zorv_string out;
    component.textGet("value", "1", "alm_a", out);
    ASSERT_EQ(debug.lines.size(), 1u);
    EXPECT_EQ(debug.lines[0], "textGet: value returned \"Value\" was not the value requested \"value\" (value "
                              "returned was \"Value=3\" from control \"alm_a\", on panel \"1\")");
    sent();
}

TEST_F(Commands, InstanceLookupReadsTwoNumbers)
{
    struct Case { std::optional<std::string> reply; bool found; int device; int offset; };
    const Case cases[] = {
        {"12 34", true, 12, 34},
        {"'12' '34'", true, 0, 12},   // token 0 is the empty text before the quote
        {"12", true, 12, 0},
        {"", true, 0, 0},
        {"x y", true, 0, 0},
        {" 7 -8", true, 0, 7},
        {"12abc 34", true, 12, 34},
        {"99999999999 -99999999999", true, INT_MAX, INT_MIN},
        {std::nullopt, false, 0, 0},
    };
    for (const Case& c : cases) {
        host.clearRules();
        host.addRule("SD 'DEST1'", c.reply);
        int device = -5, offset = -5;
        EXPECT_EQ(component.instanceLookup("DEST1", &device, &offset), c.found);
        EXPECT_EQ(device, c.device) << (c.reply ? *c.reply : "null");
        EXPECT_EQ(offset, c.offset) << (c.reply ? *c.reply : "null");
        EXPECT_EQ(sent(), Lines{"SD 'DEST1'"});
    }
}

TEST_F(Commands, InstanceLookupWithoutOutputsStillAsksAndHandsBack)
{
    host.addRule("SD *", std::string("1 2"));
    EXPECT_TRUE(component.instanceLookup("x", nullptr, nullptr));
    EXPECT_EQ(sent(), Lines{"SD 'x'"});
    EXPECT_EQ(host.handbacks(), 1u);
}

TEST_F(Commands, ControlListKeepsTheHostsOrder)
{
    host.addRule("XI '1' 'alm_'", std::string("alm_b,alm_a,alm_c"));
    zorv_stringlist list = component.controlList("1", "alm_");
    EXPECT_STREQ(list.toString(','), "alm_b,alm_a,alm_c");
    host.addRule("XI '1' 'alm_'", std::nullopt);
    EXPECT_STREQ(component.controlList("1", "alm_").toString(','), "");
    EXPECT_EQ(sent(), (Lines{"XI '1' 'alm_'", "XI '1' 'alm_'"}));
}

TEST_F(Commands, DebugPrintFillsNinePlaceholders)
{
    DebugCapture debug;
    const zorv_string e;
    component.debugPrint("%1-%2-%3-%4-%5-%6-%7-%8-%9", "a", "b", "c", "d", "e", "f", "g", "h", "i");
    component.debugPrint("none", e, e, e, e, e, e, e, e, e);
    EXPECT_EQ(debug.lines, (Lines{"a-b-c-d-e-f-g-h-i", "none"}));
    EXPECT_EQ(sent(), Lines{});
}

TEST(CommandsWithoutHost, SendNothingAndGiveTheDefinedResults)
{
    TestComponent component(nullptr, "base");
    DebugCapture debug;
    EXPECT_TRUE(component.panelShow("1", "l", ""));
    zorv_string out("stale");
    component.textGet("value", "1", "c", out);
    EXPECT_STREQ(out, "");
    int device = 9, offset = 9;
    EXPECT_FALSE(component.instanceLookup("x", &device, &offset));
    EXPECT_EQ(device, 0);
    EXPECT_EQ(offset, 0);
    EXPECT_STREQ(component.controlList("1", "alm_").toString(','), "");
    component.textPut("a", "b", "c", "d");
    component.routeCrosspoint(1, 2, 3, "", true);
    component.timerStart(1, 250);
    component.timerStop(1);
    component.notifyHost("x");
    component.detachHost();
    EXPECT_TRUE(debug.lines.empty());
}

TEST(ReadInt, MatchesAtoiInRangeAndSaturatesBeyond)
{
    struct Case { const char* text; int value; };
    const Case cases[] = {
        {"12", 12},  {"  -7x", -7},  {"+3", 3},     {"", 0},          {"x1", 0},
        {"-", 0},    {"\t\n 5", 5},  {"007", 7},    {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},    {"2147483648", INT_MAX},         {"-2147483649", INT_MIN},
        {"123456789012345678901234567890", INT_MAX},
    };
    for (const Case& c : cases)
        EXPECT_EQ(zorv_read_int(c.text), c.value) << '"' << c.text << '"';
}

} // namespace
