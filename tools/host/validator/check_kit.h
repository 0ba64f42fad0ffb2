// What the validator's checks share: the context a check runs in, the ways
// it ends (fail, warn, skip), the drive through a component's vocabulary,
// and the registry every area's file adds its checks to.
#ifndef ZORV_HOST_VALIDATOR_CHECK_KIT_H
#define ZORV_HOST_VALIDATOR_CHECK_KIT_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "component_abi.h"
#include "session.h"
#include "sim_host.h"
#include "validator.h"
#include "vocabulary.h"

namespace zorv_host::validation {

// Thrown inside a check to fail it with a reason, and the kind of what
// broke; none for a plain requirement. cause is what broke without where
// ("" when the reason says only that): checks that fail with the same kind
// and cause share one fault.
struct CheckFailed {
    CheckFailed(std::string reason, ResultKind kind = ResultKind::none, std::string cause = "")
        : reason(std::move(reason)), kind(kind), cause(std::move(cause))
    {
    }
    std::string reason;
    ResultKind kind;
    std::string cause;
};

// Thrown to end a check with a WARN: a finding that breaks no rule of the
// contract but that the component's author should see.
struct CheckWarned {
    std::string reason;
    ResultKind kind = ResultKind::none;
};

// Thrown where a check has nothing to check (no component could be made).
struct CheckSkipped {
    std::string reason;
};

// Fails the check with reason (and kind, if any) unless condition holds.
void require(bool condition, const std::string& reason, ResultKind kind = ResultKind::none);

// Fails the check with the rule break, its kind named; when, if given, goes
// before its sentence and more after it.
[[noreturn]] void fail(const RuleBreak& broken, const std::string& when = "", const std::string& more = "");

struct Context {
    component_factory factory = nullptr;
    std::uint64_t seed = 0;
    int strictness = 2;
    std::string libraryFolder;          // where the layouts it shows are looked for
    const Vocabulary* given = nullptr;  // from --controls and --scenario
    const VocabularySources* sources = nullptr;
};

// Host replies that let every query succeed.
void serveQueries(SimHost& host);

// Parent messages every component is sent.
std::vector<std::string> probeMessages();

// The component's own vocabulary on top of what the user gave.
Vocabulary discover(const Context& c, Session& session, SimHost& host);

// A text as an event description shows: long ones cut, with their size.
std::string shownText(const std::string& text);

std::string describeButton(const PanelControl& button);
// A press of a known control with text, which need not be its own event
// text: where it is another, the description says which is the control's.
std::string describePress(const PanelControl& control, const std::string& text);

// The kinds of event that memory growth is traced to; a query reply is the
// host's answer to a command the component sends during an event.
enum class EventKind { parentMessage, button, timer, queryReply };
const char* eventKindName(EventKind kind);

// One event of the drive: its kind, its description, its delivery.
struct DrivenEvent {
    EventKind kind;
    std::string description;
    std::function<void(Session&)> deliver;
};

// The probe messages, the fixed buttons and timers, then everything of the
// component's own vocabulary.
std::vector<DrivenEvent> drivenEvents(const Vocabulary& vocabulary);

// Called after each event of drive() with the event's description.
using AfterEvent = std::function<void(const std::string&)>;

// Delivers drivenEvents(vocabulary) in order.
void drive(Session& session, const Vocabulary& vocabulary, const AfterEvent& after = nullptr);

// How long an event's handling may take: over the first a WARN; over the
// second a FAIL from strictness 3, a WARN below it. The host's thread is the
// panel's: every event handled slowly stalls every panel on it.
const double slowHandlerWarnMs = 50;
const double slowHandlerFailMs = 250;
// Heap bytes in use that one delivery of an event may leave behind, after a
// warm-up; above it memory grows with that kind of event.
const long long growthLimitPerEvent = 64;

// "EVENT took N ms".
std::string describeHandling(const Handling& handling);
// Ends the check (FAIL from strictness 3, else WARN) when handling went
// over the FAIL limit, naming the event and its time.
void endIfTooSlow(const Context& c, const Handling& handling);

// Fails the check with the first note the host took (and how many more).
void requireNoNotes(SimHost& host, const std::string& when);

// Creates the component a check works on; skips the check without one.
void create(Session& session, const std::optional<std::string>& basePath, bool withHost = true);
void destroy(Session& session);

// A host that answers every query, and a component created on it.
struct Rig {
    SimHost host;
    Session session;

    Rig(component_factory factory, bool checkShapes, const std::string& basePath = "") : session(factory, host)
    {
        host.setCheckShapes(checkShapes);
        serveQueries(host);
        create(session, basePath);
    }
};

// A named check of the host contract.
struct CheckDefinition {
    std::string name;             // area.what, or the area alone
    std::string description;
    void (*run)(const Context&) = nullptr;
    int failsFrom = 1;            // the strictness from which a finding fails (below: WARN); 0: WARN at every strictness
    bool failsWithoutLibrary = false;   // a library that does not load fails it (the others skip)
};

class CheckRegistry {
public:
    void add(CheckDefinition check) { checks_.push_back(std::move(check)); }
    const std::vector<CheckDefinition>& all() const { return checks_; }
    const CheckDefinition* find(const std::string& name) const;

private:
    std::vector<CheckDefinition> checks_;
};

// Every check, in the order they run: each area's in the order it adds them.
const CheckRegistry& checkRegistry();

// The areas, each in a file of its own (checks_AREA.cpp).
void addLibraryChecks(CheckRegistry& registry);
void addCommandChecks(CheckRegistry& registry);
void addCodeChecks(CheckRegistry& registry);
void addMemoryChecks(CheckRegistry& registry);
void addLifecycleChecks(CheckRegistry& registry);
void addStormChecks(CheckRegistry& registry);
void addRobustnessChecks(CheckRegistry& registry);
void addHandlerChecks(CheckRegistry& registry);

} // namespace zorv_host::validation

#endif
