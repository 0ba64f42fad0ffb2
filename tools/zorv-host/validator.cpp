#include "validator.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iostream>
#include <random>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "child_process.h"
#include "command_catalogue.h"
#include "junit.h"
#include "guarded_memory.h"
#include "layout.h"
#include "library_loader.h"
#include "session.h"
#include "sim_host.h"
#include "vocabulary.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZORV_HOST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZORV_HOST_ASAN 1
#endif
#endif

#if defined(ZORV_HOST_ASAN)
#elif defined(_WIN32)
#include <windows.h>
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zorv_host {

namespace {

enum class Status { pass, fail, skip, warn };

struct CheckResult {
    Status status = Status::pass;
    std::string reason;
};

// Thrown inside a check to fail it with a reason.
struct CheckFailed {
    std::string reason;
};

// Thrown to end a check with a WARN: a finding that breaks no rule of the
// contract but that the component's author should see.
struct CheckWarned {
    std::string reason;
};

// Thrown where a check has nothing to check (no component could be made).
struct CheckSkipped {
    std::string reason;
};

void require(bool condition, const std::string& reason)
{
    if (!condition)
        throw CheckFailed{reason};
}

struct Context {
    component_factory factory = nullptr;
    std::uint64_t seed = 0;
    int strictness = 2;
    std::string libraryFolder;          // where the layouts it shows are looked for
    const Vocabulary* given = nullptr;  // from --controls and --scenario
    const VocabularySources* sources = nullptr;
};

// Host replies that let every query succeed, so that components exercise
// their reading and handback paths.
void serveQueries(SimHost& host)
{
    for (const CommandVerb& verb : commandVerbs())
        if (verb.query)
            host.addRule(verb.verb + " *", verb.sampleReply);
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

// Called after each event of drive() with the event's description.
using AfterEvent = std::function<void(const std::string&)>;

// The probe messages, the fixed buttons and timers, then everything of the
// component's own vocabulary.
void drive(Session& session, const Vocabulary& vocabulary, const AfterEvent& after = nullptr)
{
    auto delivered = [&](const std::string& event) {
        if (after)
            after(event);
    };
    std::vector<std::string> messages = probeMessages();
    for (const std::string& message : vocabulary.messages)
        if (std::find(messages.begin(), messages.end(), message) == messages.end())
            messages.push_back(message);
    for (const std::string& message : messages) {
        setCurrentEvent("parent " + quoteText(shownText(message)));
        session.parentMessage(message);
        delivered("parent " + quoteText(shownText(message)));
    }
    std::vector<PanelControl> buttons = {{"1", "Monitor", "", ""}, {"1", "ActionAll", "alarm=ack", ""},
                                         {"1", "AckAll", "", ""},  {"2", "Monitor", "x=1", ""}};
    buttons.insert(buttons.end(), vocabulary.controls.begin(), vocabulary.controls.end());
    for (const PanelControl& button : buttons) {
        std::string event = button.origin.empty() ? "button " + button.panel + " " + button.control
                                                  : describeButton(button);
        setCurrentEvent(event);
        session.button(button.panel, button.control, button.eventText);
        delivered(event);
    }
    std::vector<int> timers = {1, 7, -1};
    for (int timer : vocabulary.timers)
        if (std::find(timers.begin(), timers.end(), timer) == timers.end())
            timers.push_back(timer);
    for (int timer : timers) {
        setCurrentEvent("timer " + std::to_string(timer));
        session.timer(timer);
        delivered("timer " + std::to_string(timer));
    }
}

void requireNoNotes(SimHost& host, const std::string& when)
{
    std::vector<std::string> notes = host.takeNotes();
    require(notes.empty(), when + ": " + (notes.empty() ? "" : notes.front())
                               + (notes.size() > 1 ? " (+" + std::to_string(notes.size() - 1) + " more)" : ""));
}

// Creates the component a check works on; without one there is nothing to
// check (library.factory reports the null factory).
void create(Session& session, const std::optional<std::string>& basePath, bool withHost = true)
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

// ---- the checks ----

void checkFactory(const Context& c)
{
    SimHost host;
    Session session(c.factory, host);
    setCurrentEvent("create");
    require(session.create(std::string("/validator/base")), "the factory returned null");
    destroy(session);
}

void checkCreate(const Context& c)
{
    struct Variant { const char* name; std::optional<std::string> path; bool withHost; };
    const Variant variants[] = {{"an ordinary host and base path", std::string("C:/panels"), true},
                                {"an empty base path", std::string(""), true},
                                {"a null base path", std::nullopt, true},
                                {"a null host", std::string("C:/panels"), false}};
    for (const Variant& v : variants) {
        SimHost host;
        Session session(c.factory, host);
        setCurrentEvent(std::string("create with ") + v.name);
        require(session.create(v.path, v.withHost), std::string("no component for ") + v.name);
        drive(session, discover(c, session, host));
        destroy(session);
        if (!v.withHost)
            require(host.allCommands().empty(), "a component without host reached the host object");
        requireNoNotes(host, std::string("with ") + v.name);
    }
}

void checkCommandShapes(const Context& c)
{
    Rig rig(c.factory, true, "C:/panels");
    drive(rig.session, discover(c, rig.session, rig.host));
    destroy(rig.session);
    for (const std::string& note : rig.host.takeNotes())
        require(note.rfind("unknown verb", 0) != 0 && note.rfind("malformed", 0) != 0, note);
    // Well-shaped but ambiguous lines break no rule: a WARN naming the first.
    std::vector<SimHost::Warning> warnings = rig.host.takeWarnings();
    if (!warnings.empty())
        throw CheckWarned{warnings.front().text + " (during " + warnings.front().event + ")"
                          + (warnings.size() > 1 ? " (+" + std::to_string(warnings.size() - 1) + " more)" : "")};
}

// The notifications ("HN") the component sends must be among those it
// declares in its "_events" reply; a WARN names the first that is not.
void checkNotifications(const Context& c)
{
    Rig rig(c.factory, false, "C:/panels");
    Vocabulary vocabulary = discover(c, rig.session, rig.host);
    if (!vocabulary.events)
        throw CheckSkipped{"the component declares no notifications (\"_events\" answers null)"};
    rig.host.takeCommands();
    std::string finding;
    drive(rig.session, vocabulary, [&](const std::string& event) {
        for (const std::string& line : rig.host.takeCommands()) {
            std::string verb;
            std::vector<std::string> fields;
            if (!finding.empty() || !splitCommand(line, verb, fields) || verb != "HN"
                || fields.size() != 1)
                continue;
            if (isDeclaredEvent(*vocabulary.events, fields[0]))
                continue;
            std::string declared;
            for (const std::string& entry : *vocabulary.events)
                declared += (declared.empty() ? "" : ", ") + entry;
            finding = "\"" + escapeText(line) + "\" is not among the notifications declared in \"_events\" ("
                      + declared + "), during " + event;
        }
    });
    destroy(rig.session);
    requireNoNotes(rig.host, "the notifications");
    if (!finding.empty())
        throw CheckWarned{finding};
}

void checkIgnoredCodes(const Context& c)
{
    SimHost host;
    Session session(c.factory, host);
    create(session, std::string(""));
    host.takeCommands();
    static char text[] = "return=all";
    for (int code : {0, 8, -1, 9, 100, INT_MIN, INT_MAX, 1, 6, 7}) {
        setCurrentEvent("event " + std::to_string(code));
        const char* result = session.rawEvent(code, code >= 1 && code <= 7 ? reinterpret_cast<void*>(42) : text);
        if (result)
            throw CheckFailed{"code " + std::to_string(code) + " answered " + quoteText(result)};
        std::vector<std::string> sent = host.takeCommands();
        if (!sent.empty())
            throw CheckFailed{"code " + std::to_string(code) + " made the component send \"" + escapeText(sent.front())
                              + "\""};
    }
    destroy(session);
    requireNoNotes(host, "after the ignored codes");
}

void checkReleaseNull(const Context& c)
{
    SimHost host;
    Session session(c.factory, host);
    create(session, std::string(""));
    host.takeCommands();
    setCurrentEvent("event 5 null");
    require(session.rawEvent(zorv_code::release, nullptr) == nullptr, "code 5 with null answered non-null");
    require(host.takeCommands().empty(), "code 5 with null made the component send a command");
    destroy(session);
}

// Every reply is held until all are in: each must be its own array and stay
// intact until the host releases it, once.
void checkReplies(const Context& c)
{
    Rig rig(c.factory, true);
    Session& session = rig.session;
    struct Held {
        const char* pointer;
        std::string copy;
        std::string message;
    };
    std::vector<Held> held;
    std::vector<std::string> messages = probeMessages();
    Vocabulary vocabulary = discover(c, session, rig.host);
    for (const std::string& word : vocabulary.words)
        for (const char* value : {"", "=all", "=1"})
            messages.push_back(word + value);
    messages.insert(messages.end(), vocabulary.messages.begin(), vocabulary.messages.end());
    for (const std::string& message : messages) {
        setCurrentEvent("parent " + quoteText(message));
        const char* reply = session.rawEvent(zorv_code::parentMessage, const_cast<char*>(message.c_str()));
        if (!reply)
            continue;
        require(reply[0] != '\0', "the reply to " + quoteText(message) + " is an empty text, not null");
        for (const Held& other : held)
            require(other.pointer != reply, "the reply to " + quoteText(message) + " reuses the array of the reply to "
                                                + quoteText(other.message) + ", which was not released yet");
        held.push_back(Held{reply, reply, message});
    }
    for (const Held& h : held)
        require(h.copy == h.pointer, "the reply to " + quoteText(h.message) + " changed before it was released");
    for (auto h = held.rbegin(); h != held.rend(); ++h) {
        setCurrentEvent("event 5 (the reply to " + quoteText(h->message) + ")");
        session.release(h->pointer);
    }
    destroy(session);
    requireNoNotes(rig.host, "replies");
}

void checkQueries(const Context& c)
{
    Rig rig(c.factory, false);
    Vocabulary vocabulary = discover(c, rig.session, rig.host);
    drive(rig.session, vocabulary);
    for (const std::string& word : vocabulary.words) {
        setCurrentEvent("parent " + quoteText(word + "=QUERY"));
        rig.session.parentMessage(word + "=QUERY");
    }
    destroy(rig.session);
    requireNoNotes(rig.host, "query replies");
}

void checkDetach(const Context& c)
{
    Rig rig(c.factory, false);
    drive(rig.session, discover(c, rig.session, rig.host));
    require(!rig.host.detached(), "\"AS\" was sent before the component was destroyed");
    destroy(rig.session);
    const std::vector<std::string>& all = rig.host.allCommands();
    long detaches = std::count(all.begin(), all.end(), std::string("AS"));
    require(detaches == 1, "\"AS\" was sent " + std::to_string(detaches) + " times");
    for (const std::string& note : rig.host.takeNotes())
        require(note.rfind("command after AS", 0) != 0, note);
    if (all.back() != "AS")
        throw CheckFailed{"the last command was \"" + escapeText(all.back()) + "\", not \"AS\""};
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

// Heap bytes in use in the whole process, or 0 where it cannot be measured.
std::size_t heapInUse()
{
#if defined(ZORV_HOST_ASAN)
    // The sanitizer's allocator bypasses mallinfo and its own figures count
    // its quarantine; there LeakSanitizer reports a leak when the check's
    // process ends, which fails the check.
    return 0;
#elif defined(_WIN32)
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    std::size_t total = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        PROCESS_HEAP_ENTRY entry{};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
#elif defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    return mallinfo2().uordblks;
#else
    return 0;
#endif
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
        setCurrentEvent("cycle " + std::to_string(i + 1) + " of " + std::to_string(cycles));
        if (!session.create(std::string(i % 2 ? "C:/panels" : ""))) {
            if (i == 0)
                throw CheckSkipped{"the factory returned null"};
            throw CheckFailed{"the factory returned null in cycle " + std::to_string(i + 1)};
        }
        for (const char* message : {"_events", "_commands", "return=all", "return=all", "instance=CYCLE", "x"})
            session.parentMessage(std::string(message));
        session.destroy();
        requireNoNotes(host, "cycle " + std::to_string(i + 1));
        std::vector<std::string> sent = host.takeCommands();
        require(!sent.empty() && sent.back() == "AS", "cycle " + std::to_string(i + 1) + " did not end with \"AS\"");
        host.clearLog();
        host.forgetReturnedReplies();   // the host's books, not the component's memory
        if (i + 1 == warmUp)
            heapAfterWarmUp = heapInUse();
    }
    // What the cycles after the warm-up left in use is what the components
    // did not give back: their own memory or the replies the host released.
    // A few KiB of slack cover the allocators' own book-keeping.
    std::size_t heapAtEnd = heapInUse();
    std::size_t grown = heapAtEnd > heapAfterWarmUp ? heapAtEnd - heapAfterWarmUp : 0;
    std::size_t allowed = 4096 + 16 * static_cast<std::size_t>(cycles - warmUp);
    require(heapAfterWarmUp == 0 || grown <= allowed,
            std::to_string(cycles - warmUp) + " create/destroy cycles left " + std::to_string(grown)
                + " more heap bytes in use (" + std::to_string(grown / static_cast<std::size_t>(cycles - warmUp))
                + " per cycle): memory or released replies not given back");
}

// A seeded random storm of events and host replies.
void checkStorm(const Context& c)
{
    const int events = c.strictness == 1 ? 2000 : c.strictness == 2 ? 20000 : 200000;
    std::mt19937_64 random(c.seed);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    SimHost host;
    host.setCheckShapes(true);
    Session session(c.factory, host);
    create(session, std::string(""));
    const Vocabulary vocabulary = discover(c, session, host);
    const std::vector<std::string>& words = vocabulary.words;
    requireNoNotes(host, "creation and the \"_commands\" and \"_events\" queries");
    const std::optional<std::string> sdReplies[] = {std::string("1 2"), std::string("'3' '4'"), std::string("999 1"),
                                                    std::string(""), std::string("x"), std::nullopt};
    const std::optional<std::string> tgReplies[] = {std::string("value=1"), std::string("value=9"),
                                                    std::string("Value=1"), std::string("nothing"), std::nullopt};
    const std::optional<std::string> xiReplies[] = {std::string("alm_a,alm_b"), std::string(""), std::nullopt};
    const char* values[] = {"", "0", "1", "2", "-1", "999", "1000", "all", "x y", "'q'", "%1", "2147483648"};
    for (int i = 0; i < events; ++i) {
        if (pick(8) == 0) {
            host.clearRules();
            host.addRule("SD *", sdReplies[pick(6)]);
            host.addRule("TG *", tgReplies[pick(5)]);
            host.addRule("XI *", xiReplies[pick(3)]);
            host.addRule("PS *", pick(2) ? std::optional<std::string>("ok") : std::nullopt);
            // The author's own host rules, a few at a time, on top.
            for (std::size_t n = vocabulary.hostRules.empty() ? 0 : pick(3); n > 0; --n) {
                const ReplyRule& rule = vocabulary.hostRules[pick(vocabulary.hostRules.size())];
                host.addRule(rule.pattern, rule.reply);
            }
        }
        std::string event;
        std::size_t kind = pick(100);
        if (kind < 65) {
            std::string message = words[pick(words.size())];
            if (pick(4))
                message += std::string("=") + values[pick(sizeof values / sizeof *values)];
            if (!vocabulary.messages.empty() && pick(3) == 0) {
                // The seed corpus: a message of the vocabulary as it is, or
                // with another value.
                message = vocabulary.messages[pick(vocabulary.messages.size())];
                std::size_t equals = message.find('=');
                if (equals != std::string::npos && pick(2))
                    message = message.substr(0, equals + 1) + values[pick(sizeof values / sizeof *values)];
            }
            event = "parent " + quoteText(message);
            setCurrentEvent("storm event " + std::to_string(i) + ": " + event);
            const char* reply = session.rawEvent(zorv_code::parentMessage, const_cast<char*>(message.c_str()));
            if (reply) {
                require(reply[0] != '\0', event + " answered an empty text, not null");
                session.release(reply);
            }
        } else if (kind < 80) {
            const char* panels[] = {"1", "2", ""};
            const char* controls[] = {"Monitor", "Ident", "ActionAll", "AckAll", "x"};
            const char* texts[] = {"", "alarm=ack", "alarm=2", "press"};
            std::string panel = panels[pick(3)], control = controls[pick(5)], text = texts[pick(4)];
            event = "button " + panel + " " + control + " " + quoteText(text);
            if (!vocabulary.controls.empty() && pick(2)) {
                // The component's own controls, with their event texts or another.
                const PanelControl& own = vocabulary.controls[pick(vocabulary.controls.size())];
                panel = own.panel;
                control = own.control;
                text = pick(4) ? own.eventText : text;
                event = describeButton(PanelControl{panel, control, text, own.origin});
            }
            setCurrentEvent("storm event " + std::to_string(i) + ": " + event);
            session.button(panel, control, text);
        } else if (kind < 92) {
            int timer = static_cast<int>(pick(4));
            if (!vocabulary.timers.empty() && pick(2))
                timer = vocabulary.timers[pick(vocabulary.timers.size())];
            event = "timer " + std::to_string(timer);
            setCurrentEvent("storm event " + std::to_string(i) + ": " + event);
            session.timer(timer);
        } else if (kind < 97) {
            const int codes[] = {0, 1, 5, 6, 7, 8, -1};
            int code = codes[pick(7)];
            event = "event " + std::to_string(code);
            setCurrentEvent("storm event " + std::to_string(i) + ": " + event);
            const char* result = session.rawEvent(code, nullptr);
            require(result == nullptr, event + " answered non-null");
        } else {
            event = "destroy and create";
            setCurrentEvent("storm event " + std::to_string(i) + ": " + event);
            session.destroy();
            requireNoNotes(host, "storm event " + std::to_string(i) + " (" + event + ")");
            create(session, std::string(pick(2) ? "" : "C:/p"));
        }
        requireNoNotes(host, "storm event " + std::to_string(i) + " (" + event + ")");
        host.takeCommands();
    }
    host.clearLog();
    destroy(session);
    requireNoNotes(host, "the storm's end");
    const std::vector<std::string>& last = host.allCommands();
    long detaches = std::count(last.begin(), last.end(), std::string("AS"));
    require(detaches == 1, "\"AS\" was sent " + std::to_string(detaches) + " times at the storm's end");
}

// ---- robustness beyond the contract: WARN below strictness 3 ----

void checkNullButton(const Context& c)
{
    Rig rig(c.factory, false);
    setCurrentEvent("button event with null data");
    require(rig.session.rawEvent(zorv_code::button, nullptr) == nullptr, "a button event with null data answered non-null");
    destroy(rig.session);
    requireNoNotes(rig.host, "a button event with null data");
}

// Odd texts as parent messages, as the values of the words the component
// declares, and as the event texts of "Monitor" and of its own controls.
void sendOddTexts(const Context& c, Rig& rig, const std::vector<std::string>& texts)
{
    const Vocabulary vocabulary = discover(c, rig.session, rig.host);
    std::vector<std::string> declaredWords;
    for (const std::string& entry : vocabulary.declared)
        if (entry.find('=') != std::string::npos)
            declaredWords.push_back(entry.substr(0, entry.find('=')));
    std::vector<PanelControl> buttons = {{"1", "Monitor", "", ""}};
    buttons.insert(buttons.end(), vocabulary.controls.begin(), vocabulary.controls.end());
    for (const std::string& text : texts) {
        const std::string shown = shownText(text);
        setCurrentEvent("parent " + quoteText(shown));
        rig.session.parentMessage(text);
        for (const std::string& word : declaredWords) {
            setCurrentEvent("parent " + quoteText(shownText(word + "=" + text)));
            rig.session.parentMessage(word + "=" + text);
        }
        for (const PanelControl& button : buttons) {
            setCurrentEvent(describeButton(PanelControl{button.panel, button.control, "", button.origin})
                            + " with event text " + quoteText(shown));
            rig.session.button(button.panel, button.control, text);
        }
        requireNoNotes(rig.host, "after " + quoteText(shown));
    }
}

void checkHugeMessage(const Context& c)
{
    Rig rig(c.factory, false);
    const std::string mib(1 << 20, 'x');
    sendOddTexts(c, rig, {mib, "source=" + mib, "instance=" + mib, mib + "=1"});
    destroy(rig.session);
}

void checkDots(const Context& c)
{
    Rig rig(c.factory, false);
    std::string dots(40, '.'), dotted;
    for (int i = 0; i < 40; ++i)
        dotted += "a.";
    sendOddTexts(c, rig, {dots, dots + "=1", dotted + "b=1", "source" + dots + "=1", "return" + dots});
    destroy(rig.session);
}

void checkAllBytes(const Context& c)
{
    Rig rig(c.factory, false);
    std::string every;
    for (int b = 1; b < 256; ++b)
        every += static_cast<char>(b);
    std::vector<std::string> texts = {every, "source=" + every, "instance=" + every, every + "=" + every};
    for (int b = 1; b < 256; ++b)
        texts.push_back("instance=" + std::string(1, static_cast<char>(b)));
    sendOddTexts(c, rig, texts);
    destroy(rig.session);
}

struct Check {
    const char* name;
    const char* description;
    void (*run)(const Context&);
};

const Check checks[] = {
    {"library.factory", "the library loads and its factory makes a component", checkFactory},
    {"library.create", "a component for an ordinary host, an empty or null base path, and a null host",
     checkCreate},
    {"commands.shape", "every command line is a known verb with the arguments shaped as the channel forms them "
                       "(a quote inside a text argument: WARN)",
     checkCommandShapes},
    {"commands.notifications", "every notification is among those declared in \"_events\"",
     checkNotifications},
    {"codes.ignored", "codes 0, 8, -1 and the other unknown or ignored codes answer null and send nothing",
     checkIgnoredCodes},
    {"codes.release_null", "code 5 with null is harmless", checkReleaseNull},
    {"replies.fresh", "every reply is its own array, intact until released, and empty replies are null",
     checkReplies},
    {"queries.handback", "every query reply comes back once, after it was read; nothing else comes back",
     checkQueries},
    {"lifecycle.detach", "\"AS\" is sent once, at destruction, as the last command", checkDetach},
    {"lifecycle.instances", "two instances keep separate state", checkInstances},
    {"lifecycle.cycles", "create/destroy cycles leave nothing unreleased", checkCycles},
    {"storm", "a seeded random storm of events and host replies breaks no rule", checkStorm},
    {"robustness.null_button", "a button event with null data (WARN below strictness 3)", checkNullButton},
    {"robustness.huge_message", "parent messages and event texts of 1 MiB (WARN below strictness 3)",
     checkHugeMessage},
    {"robustness.dots", "texts of 40 dots (WARN below strictness 3)", checkDots},
    {"robustness.bytes", "every byte value 1-255 inside texts (WARN below strictness 3)", checkAllBytes},
};

// Robustness beyond the contract fails only at strictness 3.
bool warnsOnly(const Check& check, int strictness)
{
    return std::string(check.name).rfind("robustness.", 0) == 0 && strictness < 3;
}

// A check whose own finding is a WARN at every strictness (a crash or a
// rule broken on the way still fails it).
bool findsWarningsOnly(const Check& check) { return check.run == checkNotifications; }

// Runs one check in this process.
CheckResult runCheckHere(const Check& check, const std::string& library, const Context& base)
{
    setCurrentEvent("loading " + library);
    ComponentLibrary loaded(library);
    if (!loaded.factory())
        return CheckResult{check.run == checkFactory ? Status::fail : Status::skip, loaded.error()};
    Context context = base;
    context.factory = loaded.factory();
    try {
        check.run(context);
    } catch (const CheckFailed& failed) {
        return CheckResult{Status::fail, failed.reason};
    } catch (const CheckWarned& warned) {
        return CheckResult{Status::warn, warned.reason};
    } catch (const CheckSkipped& skipped) {
        return CheckResult{Status::skip, skipped.reason};
    } catch (const std::exception& error) {
        return CheckResult{Status::fail, std::string("exception from the component: ") + error.what()};
    }
    return CheckResult{};
}

const char* statusWord(Status s)
{
    return s == Status::pass ? "PASS" : s == Status::fail ? "FAIL" : s == Status::warn ? "WARN" : "SKIP";
}

// The first line of text that says something (skipping rules of '=').
std::string firstWordyLine(const std::string& text)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        for (char c : line)
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                return line;
    }
    return "";
}

// Runs one check in a child process and reads its verdict.
CheckResult runCheckIsolated(const Check& check, const std::string& library, const Context& context,
                             double timeout)
{
    std::vector<std::string> args = {"validate", library, "--run-check", check.name, "--seed",
                                     std::to_string(context.seed), "--strictness", std::to_string(context.strictness)};
    if (!guarded::enabled())
        args.push_back("--no-guard");
    for (const std::string& controls : context.sources->controls)
        args.insert(args.end(), {"--controls", controls});
    for (const std::string& scenario : context.sources->scenarios)
        args.insert(args.end(), {"--scenario", scenario});
    ChildOutcome child = runSelf(args, timeout);
    std::size_t at = child.out.rfind("RESULT ");
    if (child.timedOut)
        return CheckResult{Status::fail, "no verdict within " + std::to_string(static_cast<int>(timeout))
                                             + " s: the component hangs or is too slow"};
    if (at == std::string::npos) {
        std::string report = child.err;
        std::size_t crash = report.find("! component ");
        std::string reason = crash != std::string::npos ? report.substr(crash + 2) : "the check process ended ("
                                                                                       + child.description + ")";
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
            reason.pop_back();
        return CheckResult{Status::fail, reason};
    }
    std::string verdict = child.out.substr(at + 7);
    verdict.resize(std::min(verdict.size(), verdict.find('\n')));
    if (!verdict.empty() && verdict.back() == '\r')
        verdict.pop_back();
    Status status = verdict.compare(0, 4, "PASS") == 0   ? Status::pass
                    : verdict.compare(0, 4, "SKIP") == 0 ? Status::skip
                    : verdict.compare(0, 4, "WARN") == 0 ? Status::warn
                                                         : Status::fail;
    if (status != Status::fail && (child.exitCode != 0 || child.crashed)) {
        // The check held, but the process failed on its way out (a leak
        // checker, a destructor of the component's library).
        std::string first = firstWordyLine(child.err);
        return CheckResult{Status::fail, "the check process ended badly after the check (" + child.description
                                             + ")" + (first.empty() ? "" : ": " + first)};
    }
    return CheckResult{status, verdict.size() > 5 ? verdict.substr(5) : ""};
}


bool selected(const std::string& name, const std::vector<std::string>& only, const std::vector<std::string>& skip)
{
    auto matches = [&](const std::vector<std::string>& patterns) {
        for (const std::string& p : patterns)
            if (globMatch(p, name) || globMatch(p + ".*", name))
                return true;
        return false;
    };
    return (only.empty() || matches(only)) && !matches(skip);
}

} // namespace

std::vector<CheckInfo> listChecks()
{
    std::vector<CheckInfo> list;
    for (const Check& check : checks)
        list.push_back({check.name, check.description, findsWarningsOnly(check) ? 0 : warnsOnly(check, 1) ? 3 : 1});
    return list;
}

std::vector<std::uint64_t> roundSeeds(std::uint64_t first, int rounds, bool randomise)
{
    std::vector<std::uint64_t> seeds = {first};
    std::mt19937_64 random(first);
    for (int r = 1; r < rounds; ++r)
        seeds.push_back(randomise ? random() % 1000000007u : first);
    return seeds;
}

std::vector<std::size_t> shuffledOrder(std::size_t count, std::uint64_t seed)
{
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i)
        order[i] = i;
    // Fisher-Yates with a plain modulus: std::shuffle's draws differ between
    // standard libraries, and a round must replay anywhere.
    std::mt19937_64 random(seed ^ 0x5eedf00du);
    for (std::size_t i = count; i > 1; --i)
        std::swap(order[i - 1], order[static_cast<std::size_t>(random() % i)]);
    return order;
}

namespace {

struct Tally {
    int passed = 0, failed = 0, skipped = 0, warned = 0;

    void count(Status status)
    {
        (status == Status::pass   ? passed
         : status == Status::fail ? failed
         : status == Status::warn ? warned
                                  : skipped) += 1;
    }
    void add(const Tally& other)
    {
        passed += other.passed;
        failed += other.failed;
        skipped += other.skipped;
        warned += other.warned;
    }
    std::string text() const
    {
        return std::to_string(passed) + " passed, " + std::to_string(failed) + " failed"
               + (warned ? ", " + std::to_string(warned) + " warned" : "")
               + (skipped ? ", " + std::to_string(skipped) + " skipped" : "");
    }
};

} // namespace

int runValidate(const ValidateOptions& options)
{
    const std::string& library = options.library;
    const std::string& runCheck = options.runCheck;
    const bool json = options.json, inProcess = options.inProcess;
    Context context;
    context.strictness = options.strictness;
    if (options.seed)
        context.seed = *options.seed;
    double timeout = options.timeout;
    guarded::setEnabled(options.guard);
    if (options.repeat < 1 || options.jobs < 1) {
        std::cerr << "zorv-host validate: --repeat and -j take a whole number of at least 1\n";
        return 2;
    }
    Vocabulary given;
    std::string error;
    if (!loadVocabularySources(options.sources, given, error)) {
        std::cerr << "zorv-host validate: " << error << "\n";
        return 2;
    }
    context.given = &given;
    context.sources = &options.sources;
    context.libraryFolder = folderOf(library);
    if (!runCheck.empty()) {   // the child's side
        for (const Check& check : checks)
            if (runCheck == check.name) {
                installCrashReporter();
                CheckResult result = runCheckHere(check, library, context);
                std::cout << "RESULT " << statusWord(result.status) << " " << result.reason << std::endl;
                return 0;
            }
        std::cerr << "zorv-host validate: no check named " << runCheck << "\n";
        return 2;
    }
    if (!options.seed)
        context.seed = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) % 1000000007u;
    if (timeout <= 0)
        timeout = 60.0 * context.strictness;
    const int rounds = options.repeat;
    const std::string replayFlags = options.randomise ? " --randomise" : "";
    if (!json) {
        if (rounds == 1)
            std::cout << "validating " << library << " (strictness " << context.strictness << ", seed " << context.seed
                      << (options.randomise ? ", checks in random order" : "") << "; replay with --seed "
                      << context.seed << replayFlags << ")\n";
        else
            std::cout << "validating " << library << " (strictness " << context.strictness << ", " << rounds
                      << " rounds" << (options.randomise ? " in random order, a seed each" : ", seed " + std::to_string(context.seed))
                      << "; replay them all with --seed " << context.seed << " --repeat " << rounds << replayFlags
                      << ")\n";
    }
    if (inProcess)
        installCrashReporter();

    std::vector<const Check*> selection;
    for (const Check& check : checks)
        if (selected(check.name, options.only, options.skip))
            selection.push_back(&check);
    const int jobs = inProcess ? 1 : options.jobs;   // in-process checks share this process's state

    Tally total;
    nlohmann::json jsonChecks = nlohmann::json::array(), jsonRounds = nlohmann::json::array();
    std::vector<JunitSuite> suites;
    std::vector<int> failedRounds;
    const std::vector<std::uint64_t> seeds = roundSeeds(context.seed, rounds, options.randomise);
    for (int round = 1; round <= rounds; ++round) {
        Context roundContext = context;
        roundContext.seed = seeds[round - 1];
        std::vector<const Check*> order = selection;
        if (options.randomise) {
            std::vector<std::size_t> shuffled = shuffledOrder(selection.size(), roundContext.seed);
            for (std::size_t i = 0; i < shuffled.size(); ++i)
                order[i] = selection[shuffled[i]];
        }
        if (rounds > 1 && !json)
            std::cout << "round " << round << " of " << rounds << ": seed " << roundContext.seed
                      << "; replay with --seed " << roundContext.seed << replayFlags << std::endl;
        struct Outcome {
            CheckResult result;
            double seconds = 0;
        };
        std::vector<Outcome> outcomes(order.size());
        Tally tally;
        JunitSuite suite{"zorv-host validate " + library
                             + (rounds > 1 ? " round " + std::to_string(round) + " (seed "
                                                 + std::to_string(roundContext.seed) + ")"
                                           : ""),
                         {}};
        auto work = [&](std::size_t i) {
            const Check& check = *order[i];
            auto start = std::chrono::steady_clock::now();
            try {
                outcomes[i].result = inProcess ? runCheckHere(check, library, roundContext)
                                               : runCheckIsolated(check, library, roundContext, timeout);
            } catch (const std::exception& error) {
                outcomes[i].result = CheckResult{Status::fail, std::string("the validator failed: ") + error.what()};
            }
            outcomes[i].seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
        auto done = [&](std::size_t i) {
            const Check& check = *order[i];
            CheckResult& result = outcomes[i].result;
            const double seconds = outcomes[i].seconds;
            if (result.status == Status::fail && warnsOnly(check, roundContext.strictness))
                result.status = Status::warn;
            tally.count(result.status);
            const std::string area = std::string(check.name).substr(0, std::string(check.name).find('.'));
            suite.cases.push_back({check.name, area,
                                   result.status == Status::pass   ? JunitCase::Outcome::pass
                                   : result.status == Status::fail ? JunitCase::Outcome::fail
                                   : result.status == Status::warn ? JunitCase::Outcome::warn
                                                                   : JunitCase::Outcome::skip,
                                   result.reason, "", seconds});
            if (json)
                jsonChecks.push_back({{"name", check.name},
                                      {"round", round},
                                      {"status", statusWord(result.status)},
                                      {"reason", result.reason},
                                      {"seconds", seconds}});
            else
                std::cout << statusWord(result.status) << "  " << check.name
                          << (result.reason.empty() ? "" : ": " + result.reason) << std::endl;
        };
        forEachConcurrently(jobs, order.size(), work, done);
        total.add(tally);
        if (tally.failed)
            failedRounds.push_back(round);
        suites.push_back(std::move(suite));
        jsonRounds.push_back({{"round", round},
                              {"seed", roundContext.seed},
                              {"passed", tally.passed},
                              {"failed", tally.failed},
                              {"warned", tally.warned},
                              {"skipped", tally.skipped}});
        if (rounds > 1 && !json)
            std::cout << "round " << round << ": " << tally.text() << "\n";
    }
    if (!options.junit.empty()) {
        std::string error;
        if (!writeJunitFile(options.junit, suites, error)) {
            std::cerr << "zorv-host validate: " << error << "\n";
            return 2;
        }
    }
    if (json) {
        std::cout << nlohmann::json{{"schema", validateJsonSchema},
                                    {"library", library},
                                    {"seed", context.seed},
                                    {"strictness", context.strictness},
                                    {"randomised", options.randomise},
                                    {"rounds", jsonRounds},
                                    {"checks", jsonChecks},
                                    {"passed", total.passed},
                                    {"failed", total.failed},
                                    {"warned", total.warned},
                                    {"skipped", total.skipped}}
                         .dump(2)
                  << "\n";
    } else if (rounds == 1) {
        std::cout << total.text() << "\n";
    } else {
        std::string which;
        for (int round : failedRounds)
            which += (which.empty() ? "" : ", ") + std::to_string(round) + " (seed " + std::to_string(seeds[round - 1])
                     + ")";
        std::cout << rounds << " rounds: " << total.text() << (which.empty() ? ""
                                                  : std::string("; failures in round") + (failedRounds.size() > 1 ? "s " : " ")
                                                        + which)
                  << "\n";
    }
    return total.failed == 0 ? 0 : 1;
}

} // namespace zorv_host
