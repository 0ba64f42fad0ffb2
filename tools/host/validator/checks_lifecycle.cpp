// Checks of a component's life: detaching at destruction, separate
// instances, create/destroy cycles.
#include "validator/check_kit.h"

#include "command_catalogue.h"

#include <algorithm>
#include <iterator>
#include <random>

#include "platform/memory_usage.h"

namespace zorv_host::validation {

namespace {

void checkDetach(const Context& c)
{
    Rig rig(c.factory, false);
    drive(rig.session, discover(c, rig.session, rig.host));
    const std::string detach = quoteText(detachVerb().verb);
    require(!rig.host.detached(), detach + " was sent before the component was destroyed", ResultKind::detachedEarly);
    destroy(rig.session);
    const std::vector<std::string>& all = rig.host.allCommands();
    const long detaches = std::count_if(all.begin(), all.end(), isDetach);
    require(detaches == 1, detach + " was sent " + std::to_string(detaches) + " times", ResultKind::detachCount);
    for (const RuleBreak& broken : rig.host.takeRuleBreaks())
        if (broken.kind == RuleBreakKind::commandAfterDetach)
            fail(broken);
    if (!isDetach(all.back()))
        throw CheckFailed{"the last command was \"" + escapeText(all.back()) + "\", not " + detach,
                          ResultKind::commandAfterDetach};
}

// What a fresh component does on the probe, as transcript lines.
std::vector<std::string> transcriptOfProbe(Session& session, SimHost& host)
{
    std::vector<std::string> lines;
    for (const std::string& message : probeMessages()) {
        std::optional<std::string> reply = session.parentMessage(message);
        for (const std::string& command : host.takeCommands())
            lines.push_back("> " + command);
        lines.push_back(reply ? "< " + *reply : "< null");
    }
    return lines;
}

void checkInstances(const Context& c)
{
    SimHost hostFresh, hostA, hostB;
    for (SimHost* host : {&hostFresh, &hostA, &hostB})
        serveQueries(*host);
    Session fresh(c.factory, hostFresh), a(c.factory, hostA), b(c.factory, hostB);
    create(fresh, std::string(""));
    hostFresh.takeCommands();
    std::vector<std::string> expected = transcriptOfProbe(fresh, hostFresh);
    create(a, std::string(""));
    create(b, std::string(""));
    hostB.takeCommands();
    std::mt19937_64 random(c.seed);
    Vocabulary vocabulary = discover(c, a, hostA);
    const std::vector<std::string>& words = vocabulary.words;
    for (int i = 0; i < 200; ++i) {
        std::string message = words[random() % words.size()] + "=" + std::to_string(static_cast<int>(random() % 7) - 1);
        if (!vocabulary.messages.empty() && random() % 3 == 0)
            message = vocabulary.messages[random() % vocabulary.messages.size()];
        setCurrentEvent("parent " + quoteText(message) + " to the first instance");
        a.parentMessage(message);
    }
    setCurrentEvent("the probe on the second instance");
    std::vector<std::string> actual = transcriptOfProbe(b, hostB);
    for (std::size_t i = 0; i < expected.size() || i < actual.size(); ++i) {
        if (i < expected.size() && i < actual.size() && expected[i] == actual[i])
            continue;
        throw CheckFailed{"the second instance answered the probe differently from a fresh one after the first "
                          "was configured: expected \"" + escapeText(i < expected.size() ? expected[i] : "(nothing)")
                          + "\", got \"" + escapeText(i < actual.size() ? actual[i] : "(nothing)") + "\""};
    }
}

const char* const cycleMessages[] = {"_events", "_commands", "return=all", "return=all", "instance=CYCLE", "x"};

// One create/destroy cycle with its parent messages; gives the heap bytes
// in use that the messages added, when asked to measure them.
long long cycle(Session& session, SimHost& host, int i, int cycles, bool measureMessages)
{
    const std::string name = "cycle " + std::to_string(i + 1) + " of " + std::to_string(cycles);
    setCurrentEvent(name);
    if (!session.create(std::string(i % 2 ? "C:/panels" : ""))) {
        if (i == 0)
            throw CheckSkipped{"the factory returned null"};
        throw CheckFailed{"the factory returned null in cycle " + std::to_string(i + 1)};
    }
    host.takeCommands();
    const std::size_t before = measureMessages ? platform::heapBytesInUse() : 0;
    for (const char* message : cycleMessages) {
        setCurrentEvent(name + ": parent " + quoteText(message));
        session.parentMessage(std::string(message));
        host.takeWarnings();
    }
    const std::size_t after = measureMessages ? platform::heapBytesInUse() : 0;
    setCurrentEvent(name + ": destroy");
    session.destroy();
    requireNoNotes(host, "cycle " + std::to_string(i + 1));
    std::vector<std::string> sent = host.takeCommands();
    require(!sent.empty() && isDetach(sent.back()),
            "cycle " + std::to_string(i + 1) + " did not end with " + quoteText(detachVerb().verb));
    host.clearLog();
    host.forgetReturnedReplies();   // the host's books, not the component's memory
    return static_cast<long long>(after) - static_cast<long long>(before);
}

void checkCycles(const Context& c)
{
    const int cycles = c.strictness == 1 ? 100 : c.strictness == 2 ? 1000 : 10000;
    const int warmUp = 10;
    SimHost host;
    host.setCheckShapes(false);
    serveQueries(host);
    Session session(c.factory, host);
    std::size_t heapAfterWarmUp = 0;
    for (int i = 0; i < cycles; ++i) {
        cycle(session, host, i, cycles, false);
        if (i + 1 == warmUp)
            heapAfterWarmUp = platform::heapBytesInUse();
    }
    // What the cycles after the warm-up left in use is what the components
    // did not give back: their own memory or the replies the host released.
    // A few KiB of slack cover the allocators' own book-keeping.
    std::size_t heapAtEnd = platform::heapBytesInUse();
    std::size_t grown = heapAtEnd > heapAfterWarmUp ? heapAtEnd - heapAfterWarmUp : 0;
    std::size_t allowed = 4096 + 16 * static_cast<std::size_t>(cycles - warmUp);
    if (heapAfterWarmUp == 0 || grown <= allowed)
        return;
    const std::string left = std::to_string(cycles - warmUp) + " create/destroy cycles left " + std::to_string(grown)
                             + " more heap bytes in use (" + std::to_string(grown / static_cast<std::size_t>(cycles - warmUp))
                             + " per cycle)";
    // A few more cycles tell memory kept by the messages from memory kept
    // by creation and destruction.
    const int more = 10;
    long long byMessages = 0;
    for (int i = 0; i < more; ++i)
        byMessages += cycle(session, host, cycles + i, cycles + more, true);
    const long long perMessage = byMessages / (more * static_cast<long long>(std::size(cycleMessages)));
    if (perMessage > growthLimitPerEvent)
        throw CheckFailed{left + ", " + std::to_string(perMessage)
                              + " bytes of it each parent message of a cycle: memory grows with each parent message",
                          ResultKind::growthPerEvent, "memory grows with each parent message"};
    throw CheckFailed{left + ": memory or released replies not given back"};
}

} // namespace

void addLifecycleChecks(CheckRegistry& registry)
{
    registry.add({"lifecycle.detach",
                  "\"AS\" is sent once, at destruction, as the last command",
                  checkDetach});
    registry.add({"lifecycle.instances",
                  "two instances keep separate state",
                  checkInstances});
    registry.add({"lifecycle.cycles",
                  "create/destroy cycles leave nothing unreleased",
                  checkCycles});
}

} // namespace zorv_host::validation
