// Rule breaks are typed records: each broken rule of the simulated host has
// its kind, the event it broke during and the transcript's sentence, and a
// session names each event it delivers, so nothing is put down to the event
// before.
#include <atomic>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "component_abi.h"
#include "platform/threads.h"
#include "session.h"
#include "sim_host.h"

namespace zorv_host {
namespace {

#if !defined(_WIN32)
// A component that breaks a rule on demand: on a timer it answers non-null
// and sends the line it was given; on a button it sends a malformed line.
class RuleBreaker : public zorv_client_callback {
public:
    explicit RuleBreaker(zorv_client_callback* host) : host_(host) {}

    const char* callback(void* data, int code) override
    {
        if (code == zorv_code::timer) {
            if (host_)
                host_->callback(const_cast<char*>("SD x"), zorv_code::command);
            return "late";
        }
        if (code == zorv_code::button && host_)
            host_->callback(const_cast<char*>("ZZ 'x'"), zorv_code::command);
        (void)data;
        return nullptr;
    }

private:
    zorv_client_callback* host_;
};

void* makeRuleBreaker(void* host, const char*)
{
    return new RuleBreaker(static_cast<zorv_client_callback*>(host));
}
#endif

TEST(RuleBreaks, EachBrokenRuleIsRecordedWithItsKindEventAndSentence)
{
    struct Case {
        const char* name;
        std::function<void(SimHost&)> act;
        RuleBreakKind kind;
        std::string detail;
    };
    static char line[64];
    auto send = [](SimHost& host, const char* text) {
        std::snprintf(line, sizeof line, "%s", text);
        return host.callback(line, zorv_code::command);
    };
    const std::vector<Case> cases = {
        {"null command", [](SimHost& h) { h.callback(nullptr, zorv_code::command); }, RuleBreakKind::nullCommand,
         "component sent a null command"},
        {"unknown code", [](SimHost& h) { h.callback(line, 42); }, RuleBreakKind::unknownHostCode,
         "component called its host with unknown code 42"},
        {"unknown verb", [&](SimHost& h) { send(h, "ZZ 'x'"); }, RuleBreakKind::unknownVerb,
         "unknown verb in command \"ZZ 'x'\""},
        {"malformed", [&](SimHost& h) { send(h, "SD x"); }, RuleBreakKind::malformedCommand,
         "malformed SD command \"SD x\""},
        {"after AS",
         [&](SimHost& h) {
             send(h, "AS");
             send(h, "HN 'x'");
         },
         RuleBreakKind::commandAfterDetach, "command after AS: \"HN 'x'\""},
        {"null handback", [](SimHost& h) { h.callback(nullptr, zorv_code::release); }, RuleBreakKind::nullHandback,
         "component handed back a null pointer"},
        {"foreign handback", [](SimHost& h) { h.callback(line, zorv_code::release); }, RuleBreakKind::foreignHandback,
         "component handed back a pointer the host never gave"},
        {"token handback",
         [&](SimHost& h) { h.callback(const_cast<char*>(send(h, "PS 'a' 'b'")), zorv_code::release); },
         RuleBreakKind::tokenHandedBack,
         "component handed back the result of \"PS 'a' 'b'\", which is never handed back"},
        {"second handback",
         [&](SimHost& h) {
             h.addRule("SD *", std::string("1 2"));
             const char* reply = send(h, "SD 'a'");
             h.callback(const_cast<char*>(reply), zorv_code::release);
             h.callback(const_cast<char*>(reply), zorv_code::release);
         },
         RuleBreakKind::secondHandback, "component handed back the reply to \"SD 'a'\" a second time"},
        {"never handed back",
         [&](SimHost& h) {
             h.addRule("XI *", std::string("a,b"));
             send(h, "XI 'a' 'b'");
             h.componentDestroyed();
         },
         RuleBreakKind::replyNotHandedBack, "reply to \"XI 'a' 'b'\" was never handed back"},
    };
    for (const Case& c : cases) {
        SimHost host;
        setCurrentEvent(std::string("case ") + c.name);
        c.act(host);
        std::vector<RuleBreak> broken = host.takeRuleBreaks();
        ASSERT_EQ(broken.size(), 1u) << c.name;
        EXPECT_EQ(broken[0].kind, c.kind) << c.name << ": " << ruleBreakKindName(broken[0].kind);
        EXPECT_EQ(broken[0].detail, c.detail) << c.name;
        EXPECT_EQ(broken[0].text(), c.detail) << c.name;
        EXPECT_EQ(broken[0].event, std::string("case ") + c.name);
        EXPECT_TRUE(host.takeRuleBreaks().empty()) << c.name << ": taken twice";
        // takeNotes gives the same sentences, as transcripts show them.
        SimHost again;
        c.act(again);
        EXPECT_EQ(again.takeNotes(), std::vector<std::string>{c.detail}) << c.name;
    }
    // Every kind has a name of its own.
    std::set<std::string> names;
    for (int k = 0; k <= static_cast<int>(RuleBreakKind::farSide); ++k)
        EXPECT_TRUE(names.insert(ruleBreakKindName(static_cast<RuleBreakKind>(k))).second) << k;
}

#if !defined(_WIN32)
TEST(RuleBreaks, TheSessionNamesEveryEventItDelivers)
{
    SimHost host;
    host.setCheckShapes(true);
    Session session(makeRuleBreaker, host);
    setCurrentEvent("create for the test");
    ASSERT_TRUE(session.create(std::string("")));
    // Described by the caller: the caller's words.
    setCurrentEvent("the caller's timer");
    session.timer(3);
    std::vector<RuleBreak> broken = host.takeRuleBreaks();
    ASSERT_EQ(broken.size(), 2u);
    EXPECT_EQ(broken[0].kind, RuleBreakKind::malformedCommand);
    EXPECT_EQ(broken[1].kind, RuleBreakKind::timerAnswered);
    EXPECT_EQ(broken[1].detail, "timer 3 answered non-null");
    for (const RuleBreak& b : broken)
        EXPECT_EQ(b.event, "the caller's timer");
    EXPECT_EQ(currentEventText(), "the caller's timer");
    // Not described: the session's own words, not the previous event's.
    struct Next {
        std::function<void()> deliver;
        std::string event;
        RuleBreakKind kind;
    };
    const std::vector<Next> next = {
        {[&] { session.timer(9); }, "timer 9", RuleBreakKind::timerAnswered},
        {[&] { session.button("2", "Fire", "go=1"); }, "button 2 Fire \"go=1\"", RuleBreakKind::unknownVerb},
        {[&] { session.button("1", "Stop", ""); }, "button 1 Stop", RuleBreakKind::unknownVerb},
        {[&] { session.rawEvent(zorv_code::timer, reinterpret_cast<void*>(5)); }, "event 4",
         RuleBreakKind::malformedCommand},
    };
    for (const Next& n : next) {
        n.deliver();
        EXPECT_EQ(currentEventText(), n.event);
        bool seen = false;
        for (const RuleBreak& b : host.takeRuleBreaks()) {
            EXPECT_EQ(b.event, n.event) << b.detail;
            seen = seen || b.kind == n.kind;
        }
        EXPECT_TRUE(seen) << n.event;
    }
    session.parentMessage(std::string("a=1"));
    EXPECT_EQ(currentEventText(), "parent \"a=1\"");
    // A description holds for the one delivery after it.
    setCurrentEvent("a described message");
    session.parentMessage(std::string("b=2"));
    EXPECT_EQ(currentEventText(), "a described message");
    session.destroy();
    EXPECT_EQ(currentEventText(), "destroy");
}
#endif

// Every call from a thread not the host's is refused: a command is neither
// carried out nor answered, and the first such call is noted once, on the
// host's thread, however many came.
TEST(RuleBreaks, CallsFromAnotherThreadAreRefusedAndNotedOnce)
{
    SimHost host;
    host.answerEveryQuery();
    struct Calls {
        SimHost* host;
        std::atomic<int> answered{0};
    } calls{&host};
    {
        platform::WorkerThreads threads(
            2,
            [](void* context) {
                auto* c = static_cast<Calls*>(context);
                for (const char* line : {"SD 'elsewhere'", "HN 'elsewhere'"})
                    if (c->host->callback(const_cast<char*>(line), zorv_code::command))
                        ++c->answered;
            },
            &calls);
        ASSERT_EQ(threads.started(), 2u);
    }
    EXPECT_EQ(calls.answered.load(), 0);
    EXPECT_TRUE(host.takeCommands().empty());
    std::vector<RuleBreak> broken = host.takeRuleBreaks();
    ASSERT_EQ(broken.size(), 1u);
    EXPECT_EQ(broken[0].kind, RuleBreakKind::offThreadCall);
    EXPECT_NE(broken[0].detail.find("'elsewhere'\" came from a thread other than the host's"), std::string::npos)
        << broken[0].detail;
    // The host's own thread is served as before, and nothing more is noted.
    EXPECT_NE(host.callback(const_cast<char*>("SD 'here'"), zorv_code::command), nullptr);
    EXPECT_EQ(host.takeCommands(), std::vector<std::string>{"SD 'here'"});
    EXPECT_TRUE(host.takeRuleBreaks().empty());
    host.componentDestroyed();
}

} // namespace
} // namespace zorv_host
