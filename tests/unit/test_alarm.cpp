// Alarm-group actions and the alarm-button intercept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "debug_capture.h"
#include "hosted_component_test.h"
#include "sim_host.h"
#include "test_component.h"

using zorv_host::SimHost;
using Lines = std::vector<std::string>;

namespace {

class Alarm : public HostedComponentTest {
protected:
    DebugCapture debug;

    // Three alarm controls reading the given states.
    void serve(const char* a, const char* b, const char* c)
    {
        host.addRule("XI '1' 'alm_'", std::string("alm_a,alm_b,alm_c"));
        host.addRule("TG '1' 'alm_a' 'value'", std::string("value=") + a);
        host.addRule("TG '1' 'alm_b' 'value'", std::string("value=") + b);
        host.addRule("TG '1' 'alm_c' 'value'", std::string("value=") + c);
    }
};

// "ack" and "4" read every control and set only the raised ones to 4; they
// differ only in the text written to the "alarm" property.
TEST_F(Alarm, AcknowledgeReadsEachControlAndSetsOnlyRaisedOnes)
{
    struct Case { const char* action; const char* states[3]; };
    const Case cases[] = {{"ack", {"1", "3", "9"}}, {"4", {"-1", "0", "6"}}};
    for (const Case& c : cases) {
        host.clearRules();
        serve(c.states[0], c.states[1], c.states[2]);
        component.alarmGroupAction(c.action);
        const std::string alarm = std::string("alarm=") + c.action;
        EXPECT_EQ(host.takeCommands(), (Lines{"XI '1' 'alm_'",
                                              "TP '" + alarm + "' '1' 'alm_a'", "TG '1' 'alm_a' 'value'",
                                              "TP 'value=4' '1' 'alm_a'",
                                              "TP '" + alarm + "' '1' 'alm_b'", "TG '1' 'alm_b' 'value'",
                                              "TP '" + alarm + "' '1' 'alm_c'", "TG '1' 'alm_c' 'value'",
                                              "TP 'value=4' '1' 'alm_c'"}))
            << c.action;
    }
}

TEST_F(Alarm, AcknowledgeRuleOverStates)
{
    struct Case { const char* reading; bool acknowledged; };
    const Case cases[] = {{"0", false}, {"1", true}, {"2", false}, {"3", false}, {"4", false},
                          {"5", false}, {"6", true}, {"-1", true}, {"", false}};
    for (const Case& c : cases) {
        host.clearRules();
        host.addRule("XI *", std::string("alm_x"));
        host.addRule("TG *", std::string("value=") + c.reading);
        component.alarmGroupAction("ack");
        Lines lines = host.takeCommands();
        EXPECT_EQ(lines.back() == "TP 'value=4' '1' 'alm_x'", c.acknowledged) << c.reading;
    }
}

TEST_F(Alarm, MismatchedReadingCountsAsEmpty)
{
    host.addRule("XI *", std::string("alm_x"));
    host.addRule("TG *", std::string("alarm=1"));   // names another property: read as ""
    component.alarmGroupAction("ack");
    EXPECT_EQ(host.takeCommands(),
              (Lines{"XI '1' 'alm_'", "TP 'alarm=ack' '1' 'alm_x'", "TG '1' 'alm_x' 'value'"}));
    EXPECT_EQ(debug.lines.size(), 1u) << "one diagnostic line for the mismatched reading";
}

TEST_F(Alarm, OneCharacterActionsWriteTheirState)
{
    serve("1", "1", "1");
    for (const char* action : {"2", "0"}) {
        component.alarmGroupAction(action);
        std::string a(action);
        EXPECT_EQ(host.takeCommands(),
                  (Lines{"XI '1' 'alm_'",
                         "TP 'alarm=" + a + "' '1' 'alm_a'", "TP 'value=" + a + "' '1' 'alm_a'",
                         "TP 'alarm=" + a + "' '1' 'alm_b'", "TP 'value=" + a + "' '1' 'alm_b'",
                         "TP 'alarm=" + a + "' '1' 'alm_c'", "TP 'value=" + a + "' '1' 'alm_c'"}));
    }
}

TEST_F(Alarm, OtherActionsWriteOnlyTheAlarmProperty)
{
    serve("1", "1", "1");
    for (const char* action : {"12", "", "acknowledge"}) {
        component.alarmGroupAction(action);
        std::string a(action);
        EXPECT_EQ(host.takeCommands(), (Lines{"XI '1' 'alm_'", "TP 'alarm=" + a + "' '1' 'alm_a'",
                                              "TP 'alarm=" + a + "' '1' 'alm_b'",
                                              "TP 'alarm=" + a + "' '1' 'alm_c'"}));
    }
}

TEST_F(Alarm, EmptyListSendsOnlyTheQuery)
{
    component.alarmGroupAction("ack");
    EXPECT_EQ(host.takeCommands(), Lines{"XI '1' 'alm_'"});
}

TEST_F(Alarm, InterceptTakesAlarmButtonsWhileEnabled)
{
    component.setAlarmActionsEnabled(true);
    host.addRule("XI *", std::string("alm_a"));
    host.addRule("TG *", std::string("value=1"));
    struct Case { const char* control; const char* eventText; Lines commands; const char* call; };
    const Case cases[] = {
        {"ActionAll", "alarm=2", {"XI '1' 'alm_'", "TP 'alarm=2' '1' 'alm_a'", "TP 'value=2' '1' 'alm_a'"}, nullptr},
        {"ActionAll", "other=2", {}, "button 1 ActionAll other=2"},
        {"AckAll", "", {"XI '1' 'alm_'", "TP 'alarm=4' '1' 'alm_a'", "TG '1' 'alm_a' 'value'",
                        "TP 'value=4' '1' 'alm_a'"}, nullptr},
        {"AckAll", "alarm=2", {"XI '1' 'alm_'", "TP 'alarm=4' '1' 'alm_a'", "TG '1' 'alm_a' 'value'",
                               "TP 'value=4' '1' 'alm_a'"}, nullptr},
        {"Monitor", "alarm=2", {}, "button 1 Monitor alarm=2"},
    };
    for (const Case& c : cases) {
        component.calls.clear();
        ParsedMessage message(c.eventText);
        ButtonEvent event{0, 0, "1", c.control, &message};
        EXPECT_EQ(component.callback(&event, zorv_code::button), nullptr);
        EXPECT_EQ(host.takeCommands(), c.commands) << c.control << " " << c.eventText;
        EXPECT_EQ(component.calls, c.call ? Lines{c.call} : Lines{}) << c.control << " " << c.eventText;
    }
}

} // namespace
