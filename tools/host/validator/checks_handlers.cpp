// Checks of the faults that wear a control room down over hours rather than
// at once: calls on a thread not the host's, handlers that stall the host's
// thread, memory that grows with a kind of event.
#include "validator/check_kit.h"

#include <algorithm>
#include <set>

#include "command_catalogue.h"
#include "platform/memory_usage.h"

namespace zorv_host::validation {

namespace {

void checkHostThread(const Context& c)
{
    Rig rig(c.factory, false);
    auto requireHostThread = [&](const std::string& when) {
        for (const RuleBreak& broken : rig.host.takeRuleBreaks())
            if (broken.kind == RuleBreakKind::offThreadCall)
                fail(broken, when);
    };
    requireHostThread("creation");
    const Vocabulary vocabulary = discover(c, rig.session, rig.host);
    requireHostThread("the \"_commands\" and \"_events\" queries");
    drive(rig.session, vocabulary, requireHostThread);
    destroy(rig.session);
    requireHostThread("destruction");
}

void checkHandlerTime(const Context& c)
{
    Rig rig(c.factory, false);
    Handling slowest = rig.session.takeSlowest();
    auto measure = [&](const std::string&) {
        const Handling handling = rig.session.takeSlowest();
        endIfTooSlow(c, handling);
        if (handling.milliseconds > slowest.milliseconds)
            slowest = handling;
    };
    measure("creation");
    drive(rig.session, discover(c, rig.session, rig.host), measure);
    destroy(rig.session);
    measure("destruction");
    if (slowest.milliseconds > slowHandlerWarnMs)
        throw CheckWarned{describeHandling(slowest) + " (over " + std::to_string(static_cast<int>(slowHandlerWarnMs))
                              + " ms): the host's thread waits that long",
                          ResultKind::slowHandler};
}

// Memory that one event, delivered again and again after a warm-up, leaves
// in use: more than growthLimitPerEvent bytes a delivery, and a KiB in all,
// is growth.
const long long growthLimitInAll = 1024;
// A slow event is delivered this often only: its time is handlers.time's.
const int slowEventDeliveries = 2;

struct Growth {
    EventKind kind = EventKind::parentMessage;
    std::string event;
    long long bytesPerEvent = 0;
};

// Empties the host's logs and books, which grow with every event whatever
// the component does.
void settle(SimHost& host)
{
    host.takeCommands();
    host.clearLog();
    host.forgetReturnedReplies();
    host.takeRuleBreaks();
    host.takeWarnings();
}

// Heap bytes in use that deliveries of one event left behind, and the
// query replies the host gave during them.
struct Measured {
    long long grown = 0;
    std::size_t replies = 0;
};

Measured measureGrowth(Rig& rig, const DrivenEvent& event, int deliveries)
{
    settle(rig.host);
    rig.session.takeSlowest();   // its description is held on the heap, longer or shorter as times fall
    const std::size_t repliesBefore = rig.host.handbacks() + rig.host.outstandingReplies();
    const std::size_t before = platform::heapBytesInUse();
    for (int i = 0; i < deliveries; ++i) {
        setCurrentEvent(event.description);
        event.deliver(rig.session);
        settle(rig.host);
    }
    rig.session.takeSlowest();
    const std::size_t after = platform::heapBytesInUse();
    return {static_cast<long long>(after) - static_cast<long long>(before),
            rig.host.handbacks() + rig.host.outstandingReplies() - repliesBefore};
}

// Queries answered null, or by the catalogue's samples.
void answerQueries(SimHost& host, bool answered)
{
    host.clearRules();
    if (answered)
        serveQueries(host);
    else
        for (const CommandVerb& verb : commandVerbs())
            if (verb.query)
                host.addRule(verb.verb + " *", std::nullopt);
}

// A parent message's growth is measured with null query replies, so that
// what the replies add is told apart and put down to them.
bool grows(long long grown, std::size_t count)
{
    return count > 0 && grown > growthLimitInAll && grown / static_cast<long long>(count) > growthLimitPerEvent;
}

std::optional<Growth> growthOf(Rig& rig, const DrivenEvent& event, int deliveries)
{
    const auto count = static_cast<std::size_t>(deliveries);
    if (event.kind != EventKind::parentMessage) {
        const long long grown = measureGrowth(rig, event, deliveries).grown;
        return grows(grown, count) ? std::optional<Growth>(Growth{event.kind, event.description, grown / deliveries})
                                   : std::nullopt;
    }
    answerQueries(rig.host, false);
    const Measured bare = measureGrowth(rig, event, deliveries);
    answerQueries(rig.host, true);
    const Measured answered = measureGrowth(rig, event, deliveries);
    if (grows(bare.grown, count))
        return Growth{event.kind, event.description, bare.grown / deliveries};
    const long long byReplies = answered.grown - bare.grown;
    if (grows(byReplies, answered.replies))
        return Growth{EventKind::queryReply, "the query replies during " + event.description,
                      byReplies / static_cast<long long>(answered.replies)};
    return std::nullopt;
}

// Delivers the whole drive a few times, for the component's and the host's
// first allocations; gives the events that took over the WARN limit.
std::set<std::string> warmUp(Rig& rig, const Vocabulary& vocabulary)
{
    std::set<std::string> slow;
    for (int round = 0; round < 3; ++round)
        drive(rig.session, vocabulary, [&](const std::string& event) {
            if (rig.session.takeSlowest().milliseconds > slowHandlerWarnMs)
                slow.insert(event);
        });
    return slow;
}

void checkGrowth(const Context& c)
{
    if (platform::heapBytesInUse() == 0)
        throw CheckSkipped{"the heap in use cannot be measured in this build"};
    const int deliveries = 8 << c.strictness;
    Rig rig(c.factory, false);
    const Vocabulary vocabulary = discover(c, rig.session, rig.host);
    const std::set<std::string> slow = warmUp(rig, vocabulary);
    const std::vector<DrivenEvent> events = drivenEvents(vocabulary);
    std::vector<Growth> found;
    for (const DrivenEvent& event : events)
        if (std::optional<Growth> growth = growthOf(rig, event, slow.count(event.description) ? slowEventDeliveries : deliveries))
            found.push_back(*growth);
    if (found.empty())
        return;
    const Growth& worst = *std::max_element(found.begin(), found.end(), [](const Growth& a, const Growth& b) {
        return a.bytesPerEvent < b.bytesPerEvent;
    });
    const std::string grows = std::string("memory grows with each ") + eventKindName(worst.kind);
    throw CheckFailed{grows + ": " + worst.event + " left " + std::to_string(worst.bytesPerEvent)
                          + " bytes in use per " + eventKindName(worst.kind) + " (each event delivered "
                          + std::to_string(deliveries) + " times after a warm-up; " + std::to_string(found.size())
                          + " of the " + std::to_string(events.size()) + " events driven grew)",
                      ResultKind::growthPerEvent, grows};
}

} // namespace

void addHandlerChecks(CheckRegistry& registry)
{
    registry.add({"handlers.thread",
                  "every call to the host comes on the host's thread",
                  checkHostThread});
    registry.add({"handlers.time",
                  "every event is handled within 50 ms (WARN); over 250 ms fails from strictness 3",
                  checkHandlerTime, 3});
    registry.add({"handlers.growth",
                  "no kind of event (parent message, button, timer, query reply) leaves memory in use behind",
                  checkGrowth});
}

} // namespace zorv_host::validation
