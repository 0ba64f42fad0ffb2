// The dispatcher: event codes to handlers, the reply memory rule, detach.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>

#include "sim_host.h"
#include "test_component.h"

using zorv_host::SimHost;

namespace {

class Dispatch : public ::testing::Test {
protected:
    SimHost host;
    std::unique_ptr<TestComponent> component{new TestComponent(&host, "")};

    void TearDown() override
    {
        component.reset();
        EXPECT_EQ(host.takeNotes(), std::vector<std::string>{});
    }
};

TEST_F(Dispatch, RoutesEachCodeToItsHandler)
{
    ParsedMessage message("alarm=ack");
    ButtonEvent event{1, 2, "1", "Monitor", &message};
    struct Case { void* data; int code; const char* call; };
    const Case cases[] = {
        {word(11), zorv_code::eventOne, "one 11"},
        {&event, zorv_code::button, "button 1 Monitor alarm=ack"},
        {const_cast<char*>("a.b=c"), zorv_code::parentMessage, "parent a|c"},
        {word(7), zorv_code::timer, "timer 7"},
        {word(-3), zorv_code::timer, "timer -3"},
        {word(66), zorv_code::eventSix, "six 66"},
        {word(77), zorv_code::eventSeven, "seven 77"},
        {nullptr, zorv_code::parentMessage, "parent |"},
    };
    for (const Case& c : cases) {
        component->calls.clear();
        EXPECT_EQ(component->callback(c.data, c.code), nullptr) << c.call;
        EXPECT_EQ(component->calls, std::vector<std::string>{c.call});
    }
    EXPECT_EQ(host.takeCommands(), std::vector<std::string>{});
}

TEST_F(Dispatch, IgnoresCodesOutsideOneToSeven)
{
    for (int code : {0, 8, -1, 100, INT_MIN, INT_MAX})
        EXPECT_EQ(component->callback(const_cast<char*>("x=1"), code), nullptr) << code;
    EXPECT_TRUE(component->calls.empty());
    EXPECT_TRUE(host.takeCommands().empty());
}

TEST_F(Dispatch, NonEmptyReplyIsAFreshArrayReleasedByCodeFive)
{
    component->reply = "x";
    const char* first = component->callback(const_cast<char*>("q"), zorv_code::parentMessage);
    const char* second = component->callback(const_cast<char*>("q"), zorv_code::parentMessage);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second) << "each reply is its own array";
    EXPECT_EQ(std::memcmp(first, "x", 2), 0);
    component->reply = "changed";
    EXPECT_STREQ(first, "x") << "the reply is a copy, not the handler's text";
    // Released in any order, each once (the sanitizer build checks the frees).
    EXPECT_EQ(component->callback(const_cast<char*>(second), zorv_code::release), nullptr);
    EXPECT_EQ(component->callback(const_cast<char*>(first), zorv_code::release), nullptr);
}

TEST_F(Dispatch, EmptyReplyAnswersNull)
{
    component->reply = "";
    EXPECT_EQ(component->callback(const_cast<char*>("return"), zorv_code::parentMessage), nullptr);
}

TEST_F(Dispatch, ReleaseOfNullIsHarmless)
{
    EXPECT_EQ(component->callback(nullptr, zorv_code::release), nullptr);
    EXPECT_TRUE(component->calls.empty());
}

TEST_F(Dispatch, ThrowingHandlerReleasesTheParsedMessage)
{
    component->throwFromParent = true;
    std::string longText(4096, 'm');   // a heap buffer the sanitizer would report if leaked
    EXPECT_THROW(component->callback(const_cast<char*>(longText.c_str()), zorv_code::parentMessage),
                 std::runtime_error);
    component->throwFromParent = false;
    component->reply = "still works";
    const char* reply = component->callback(const_cast<char*>("q"), zorv_code::parentMessage);
    EXPECT_STREQ(reply, "still works");
    component->callback(const_cast<char*>(reply), zorv_code::release);
}

TEST_F(Dispatch, ButtonEventWithoutRecordIsIgnored)
{
    EXPECT_EQ(component->callback(nullptr, zorv_code::button), nullptr);
    EXPECT_TRUE(component->calls.empty());
}

TEST_F(Dispatch, AlarmButtonsReachTheComponentWhileAlarmActionsAreOff)
{
    EXPECT_FALSE(component->alarmActionsOn());
    ParsedMessage message("alarm=2");
    for (const char* control : {"ActionAll", "AckAll"}) {
        ButtonEvent event{0, 0, "1", control, &message};
        component->callback(&event, zorv_code::button);
    }
    EXPECT_EQ(component->calls,
              (std::vector<std::string>{"button 1 ActionAll alarm=2", "button 1 AckAll alarm=2"}));
    EXPECT_TRUE(host.takeCommands().empty());
}

TEST(Detach, DestructionSendsAsLastAndNeverHandsItsResultBack)
{
    SimHost host;
    host.addRule("AS", std::string("a result that must not come back"));
    {
        TestComponent component(&host, nullptr);
        component.notifyHost("hello");
    }
    EXPECT_EQ(host.takeCommands(), (std::vector<std::string>{"HN 'hello'", "AS"}));
    EXPECT_EQ(host.takeNotes(), std::vector<std::string>{});
}

TEST(Detach, WithoutHostNothingIsSent)
{
    TestComponent component(nullptr, "base");
    component.calls.clear();
    EXPECT_EQ(component.callback(const_cast<char*>("x"), zorv_code::parentMessage), nullptr);
    EXPECT_EQ(component.calls, std::vector<std::string>{"parent x|"});
}

TEST(Construction, NullBasePathIsEmpty)
{
    SimHost host;
    TestComponent component(&host, nullptr);
    component.panelShow("1", "layout.zorv_ui", "");
    EXPECT_EQ(host.takeCommands(), std::vector<std::string>{"PS '1' 'layout.zorv_ui'"});
}

} // namespace
