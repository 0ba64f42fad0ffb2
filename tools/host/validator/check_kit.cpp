#include "validator/check_kit.h"

#include <algorithm>

#include "layout.h"

namespace zorv_host::validation {

void require(bool condition, const std::string& reason, ResultKind kind)
{
    if (!condition)
        throw CheckFailed{reason, kind};
}

void fail(const RuleBreak& broken, const std::string& when, const std::string& more)
{
    throw CheckFailed{(when.empty() ? "" : when + ": ") + broken.detail + more, resultKindOf(broken.kind),
                      broken.detail};
}

// Host replies that let every query succeed, so that components exercise
// their reading and handback paths.
void serveQueries(SimHost& host)
{
    host.answerEveryQuery();
    host.addRule("TG * 'all'", std::string("anything=at all"));
}

// Parent messages every component is sent: the framework's list queries,
// the usual configuration words, odd shapes, and a value holding a quote.
std::vector<std::string> probeMessages()
{
    return {"_events",        "_commands",   "return=all", "return",      "instance=PROBE", "activedest=2",
            "selectedbg=s1",  "deselectedbg=s0", "source=3", "activedest=-1", "instance=",   "x",
            "",               "a.b.c=d=e",   "=",          "....",        "source=99999999999",
            "label=it's"};
}

// The component's own vocabulary on top of what the user gave: the layouts
// it showed so far (their buttons), its "_commands" and "_events" replies.
Vocabulary discover(const Context& c, Session& session, SimHost& host)
{
    Vocabulary vocabulary = c.given ? *c.given : Vocabulary{};
    addShownLayouts(vocabulary, host.allCommands(), c.libraryFolder);
    askComponent(vocabulary, session);
    addShownLayouts(vocabulary, host.allCommands(), c.libraryFolder);
    return vocabulary;
}

// A text as an event description shows: long ones cut, with their size.
std::string shownText(const std::string& text)
{
    return text.size() > 60 ? text.substr(0, 60) + "... (" + std::to_string(text.size()) + " bytes)" : text;
}

std::string describeButton(const PanelControl& button)
{
    return "button " + button.panel + " " + button.control
           + (button.eventText.empty() ? "" : " with event text " + quoteText(button.eventText))
           + (button.origin.empty() ? "" : " (" + button.origin + ")");
}

std::string describePress(const PanelControl& control, const std::string& text)
{
    PanelControl pressed = control;
    pressed.eventText = text;
    if (text != control.eventText && !control.origin.empty())
        pressed.origin += ", where its event text is " + quoteText(control.eventText);
    return describeButton(pressed);
}

const char* eventKindName(EventKind kind)
{
    switch (kind) {
    case EventKind::parentMessage: return "parent message";
    case EventKind::button: return "button";
    case EventKind::timer: return "timer";
    case EventKind::queryReply: return "query reply";
    }
    return "event";
}

// The probe messages, the fixed buttons and timers, then everything of the
// component's own vocabulary.
std::vector<DrivenEvent> drivenEvents(const Vocabulary& vocabulary)
{
    std::vector<DrivenEvent> events;
    std::vector<std::string> messages = probeMessages();
    for (const std::string& message : vocabulary.messages)
        if (std::find(messages.begin(), messages.end(), message) == messages.end())
            messages.push_back(message);
    for (const std::string& message : messages)
        events.push_back({EventKind::parentMessage, "parent " + quoteText(shownText(message)),
                          [message](Session& session) { session.parentMessage(message); }});
    std::vector<PanelControl> buttons = {{"1", "Monitor", "", ""}, {"1", "ActionAll", "alarm=ack", ""},
                                         {"1", "AckAll", "", ""},  {"2", "Monitor", "x=1", ""}};
    buttons.insert(buttons.end(), vocabulary.controls.begin(), vocabulary.controls.end());
    for (const PanelControl& button : buttons)
        events.push_back({EventKind::button,
                          button.origin.empty() ? "button " + button.panel + " " + button.control
                                                : describeButton(button),
                          [button](Session& session) { session.button(button.panel, button.control, button.eventText); }});
    std::vector<int> timers = {1, 7, -1};
    for (int timer : vocabulary.timers)
        if (std::find(timers.begin(), timers.end(), timer) == timers.end())
            timers.push_back(timer);
    for (int timer : timers)
        events.push_back({EventKind::timer, "timer " + std::to_string(timer),
                          [timer](Session& session) { session.timer(timer); }});
    return events;
}

void drive(Session& session, const Vocabulary& vocabulary, const AfterEvent& after)
{
    for (const DrivenEvent& event : drivenEvents(vocabulary)) {
        setCurrentEvent(event.description);
        event.deliver(session);
        if (after)
            after(event.description);
    }
}

std::string describeHandling(const Handling& handling)
{
    return handling.event + " took " + std::to_string(static_cast<long>(handling.milliseconds + 0.5)) + " ms";
}

void endIfTooSlow(const Context& c, const Handling& handling)
{
    if (handling.milliseconds <= slowHandlerFailMs)
        return;
    const std::string reason = describeHandling(handling) + " (the limit is "
                               + std::to_string(static_cast<int>(slowHandlerFailMs))
                               + " ms): the host's thread stalls while it waits";
    if (c.strictness >= 3)
        throw CheckFailed{reason, ResultKind::slowHandler, "an event's handling over the time limit"};
    throw CheckWarned{reason, ResultKind::slowHandler};
}

void requireNoNotes(SimHost& host, const std::string& when)
{
    std::vector<RuleBreak> broken = host.takeRuleBreaks();
    if (broken.empty())
        return;
    fail(broken.front(), when, broken.size() > 1 ? " (+" + std::to_string(broken.size() - 1) + " more)" : "");
}

// Creates the component a check works on; without one there is nothing to
// check (library.factory reports the null factory).
void create(Session& session, const std::optional<std::string>& basePath, bool withHost)
{
    setCurrentEvent("create");
    if (!session.create(basePath, withHost))
        throw CheckSkipped{"the factory returned null"};
}

void destroy(Session& session)
{
    setCurrentEvent("destroy");
    session.destroy();
}

const CheckDefinition* CheckRegistry::find(const std::string& name) const
{
    for (const CheckDefinition& check : checks_)
        if (check.name == name)
            return &check;
    return nullptr;
}

const CheckRegistry& checkRegistry()
{
    static const CheckRegistry registry = [] {
        CheckRegistry made;
        for (void (*addArea)(CheckRegistry&) : {addLibraryChecks, addCommandChecks, addCodeChecks, addMemoryChecks,
                                                addLifecycleChecks, addHandlerChecks, addStormChecks,
                                                addRobustnessChecks})
            addArea(made);
        return made;
    }();
    return registry;
}

} // namespace zorv_host::validation

namespace zorv_host {

const char* resultKindName(ResultKind kind)
{
    switch (kind) {
    case ResultKind::none: return "";
#define ZORV_NAME_CASE(enumerator, name) \
    case ResultKind::enumerator: return name;
        ZORV_VALIDATOR_FINDINGS(ZORV_NAME_CASE)
        ZORV_RULE_BREAK_KINDS(ZORV_NAME_CASE)
        ZORV_MEMORY_FAULT_KINDS(ZORV_NAME_CASE)
#undef ZORV_NAME_CASE
    }
    return "";
}

std::optional<ResultKind> resultKindFromName(const std::string& name)
{
    if (name.empty())
        return ResultKind::none;
#define ZORV_FROM_NAME(enumerator, text) \
    if (name == text)                    \
        return ResultKind::enumerator;
    ZORV_VALIDATOR_FINDINGS(ZORV_FROM_NAME)
    ZORV_RULE_BREAK_KINDS(ZORV_FROM_NAME)
    ZORV_MEMORY_FAULT_KINDS(ZORV_FROM_NAME)
#undef ZORV_FROM_NAME
    return std::nullopt;
}

ResultKind resultKindOf(RuleBreakKind kind)
{
    switch (kind) {
#define ZORV_SAME_CASE(enumerator, name) \
    case RuleBreakKind::enumerator: return ResultKind::enumerator;
        ZORV_RULE_BREAK_KINDS(ZORV_SAME_CASE)
#undef ZORV_SAME_CASE
    }
    return ResultKind::none;
}

ResultKind resultKindOf(guarded::FaultKind kind)
{
    switch (kind) {
#define ZORV_SAME_CASE(enumerator, name) \
    case guarded::FaultKind::enumerator: return ResultKind::enumerator;
        ZORV_MEMORY_FAULT_KINDS(ZORV_SAME_CASE)
#undef ZORV_SAME_CASE
    }
    return ResultKind::none;
}

const char* checkStatusName(CheckStatus status)
{
    switch (status) {
    case CheckStatus::pass: return "PASS";
    case CheckStatus::fail: return "FAIL";
    case CheckStatus::skip: return "SKIP";
    case CheckStatus::warn: return "WARN";
    }
    return "FAIL";
}

std::optional<CheckStatus> checkStatusFromName(const std::string& name)
{
    for (CheckStatus status : {CheckStatus::pass, CheckStatus::fail, CheckStatus::skip, CheckStatus::warn})
        if (name == checkStatusName(status))
            return status;
    return std::nullopt;
}

} // namespace zorv_host
