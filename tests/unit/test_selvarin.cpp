// The destination component through its binary interface: the factory, the
// callback codes and the host's books.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session.h"
#include "sim_host.h"
#include "linked_component.h"

using zorv_host::Session;
using zorv_host::SimHost;
using Lines = std::vector<std::string>;

namespace {

class SelvarinTest : public ::testing::Test {
protected:
    SimHost host;
    Session session{linkedComponentFactory, host};

    void SetUp() override
    {
        ASSERT_TRUE(session.create(std::string("")));
        host.takeCommands();
    }
    // Configures device and offset through a lookup, then selects or not.
    void configure(const std::string& reply, int activedest)
    {
        host.addRule("SD 'D'", reply);
        session.parentMessage(std::string("instance=D"));
        session.parentMessage("activedest=" + std::to_string(activedest));
        host.takeCommands();
    }
    void TearDown() override
    {
        session.destroy();
        Lines last = host.takeCommands();
        ASSERT_FALSE(last.empty());
        EXPECT_EQ(last.back(), "AS");
        EXPECT_EQ(host.takeNotes(), Lines{});
    }
};

TEST_F(SelvarinTest, TakeConditions)
{
    struct Case { const char* lookup; int activedest; const char* source; Lines commands; };
    const Case cases[] = {
        {"1 1", 1, "source=5", {"RC 1 5 1 ',' 1", "ET 1 250"}},
        {"999 1", 1, "source=5", {"RC 999 5 1 ',' 1", "ET 1 250"}},
        {"0 1", 1, "source=5", {}},
        {"1000 1", 1, "source=5", {}},
        {"-3 1", 1, "source=5", {}},
        {"7 0", 0, "source=5", {}},
        {"7 -4", -4, "source=5", {}},
        {"7 2", 3, "source=5", {}},   // not selected
        {"7 2", 2, "source=0", {"RC 7 0 2 ',' 1", "ET 1 250"}},
        {"7 2", 2, "source=-1", {}},
        {"7 2", 2, "source=", {}},
        {"7 2", 2, "source", {}},
        {"7 2", 2, "source=2147483647", {"RC 7 2147483647 2 ',' 1", "ET 1 250"}},
        {"7 2", 2, "source=abc", {"RC 7 0 2 ',' 1", "ET 1 250"}},   // a non-number reads as 0
    };
    for (const Case& c : cases) {
        configure(c.lookup, c.activedest);
        EXPECT_EQ(session.parentMessage(std::string(c.source)), std::nullopt);
        EXPECT_EQ(host.takeCommands(), c.commands) << c.lookup << " / " << c.activedest << " / " << c.source;
        session.parentMessage(std::string("instance="));   // forget D so the next lookup runs
    }
}

TEST_F(SelvarinTest, MonitorNotifiesTheCurrentOffset)
{
    struct Case { const char* lookup; const char* expected; };
    const Case cases[] = {{"4 17", "HN 'activate=17'"}, {"4", "HN 'activate=0'"}, {"", "HN 'activate=0'"}};
    session.button("1", "Monitor", "");
    EXPECT_EQ(host.takeCommands(), Lines{"HN 'activate=-1'"});
    for (const Case& c : cases) {
        configure(c.lookup, 0);
        session.button("1", "Monitor", "");
        EXPECT_EQ(host.takeCommands(), Lines{c.expected}) << c.lookup;
        session.parentMessage(std::string("instance="));
    }
}

TEST_F(SelvarinTest, FailedLookupLeavesZeroAndStaysUsable)
{
    host.addRule("SD *", std::nullopt);
    session.parentMessage(std::string("instance=GONE"));
    session.parentMessage(std::string("activedest=0"));   // offset 0 now: selected
    session.parentMessage(std::string("source=1"));
    host.addRule("SD *", std::string("2 5"));
    session.parentMessage(std::string("instance=BACK"));
    session.parentMessage(std::string("source=1"));
    EXPECT_EQ(host.takeCommands(), (Lines{"SD 'GONE'", "TP 'statesheet=' '1' 'Ident'", "SD 'BACK'",
                                          "RC 2 1 5 ',' 1", "ET 1 250"}));
}

TEST(SelvarinInstances, TwoComponentsKeepSeparateState)
{
    SimHost hostA, hostB;
    Session a(linkedComponentFactory, hostA), b(linkedComponentFactory, hostB);
    ASSERT_TRUE(a.create(std::string("")));
    ASSERT_TRUE(b.create(std::string("/b")));
    a.parentMessage(std::string("selectedbg=only_a"));
    EXPECT_EQ(a.parentMessage(std::string("return=all")), std::string("selectedbg=only_a\ndeselectedbg="));
    EXPECT_EQ(b.parentMessage(std::string("return=all")), std::string("selectedbg=\ndeselectedbg="));
    a.destroy();
    b.parentMessage(std::string("activedest=-1"));
    b.destroy();
    EXPECT_EQ(hostA.allCommands(), (Lines{"PS '1' 'mymon.zorv_ui'", "AS"}));
    EXPECT_EQ(hostB.allCommands(), (Lines{"PS '1' '/b/mymon.zorv_ui'", "TP 'statesheet=' '1' 'Ident'", "AS"}));
}

TEST(SelvarinInstances, NullHostAndNullPathAreTolerated)
{
    zorv_client_callback* component = load_zorv_client_script(nullptr, nullptr);
    ASSERT_NE(component, nullptr);
    const char* reply = component->callback(const_cast<char*>("_events"), zorv_code::parentMessage);
    ASSERT_NE(reply, nullptr);
    EXPECT_STREQ(reply, "activate=*\nclearsource=-1");
    component->callback(const_cast<char*>(reply), zorv_code::release);
    component->callback(const_cast<char*>("source=1"), zorv_code::parentMessage);
    delete component;
}

} // namespace
