#include "bridge.h"

#include <cstdint>
#include <iostream>
#include <optional>

#include "child_process.h"
#include "command_catalogue.h"
#include "library_loader.h"
#include "scenario.h"
#include "session.h"
#include "sim_host.h"

namespace zorv_host {

bool bridgeAsks(const std::string& line)
{
    const CommandVerb* verb = findCommandVerb(line);
    return verb && verb->answered();
}

void splitRecordWord(const std::string& line, std::string& word, std::string& rest)
{
    std::size_t blank = line.find(' ');
    word = line.substr(0, blank);
    rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
}

namespace {

// The records of one quoted text: WORD "TEXT".
std::string quotedRecord(const char* word, const std::string& text) { return word + (" " + quoteText(text)); }

std::optional<std::string> readQuotedRecord(const char* word, const std::string& line)
{
    std::string first, rest;
    splitRecordWord(line, first, rest);
    return first == word ? unquoteText(rest) : std::nullopt;
}

} // namespace

std::string bridgeCommandLine(const std::string& command) { return quotedRecord("cmd", command); }
std::optional<std::string> readBridgeCommand(const std::string& line) { return readQuotedRecord("cmd", line); }
std::string bridgeQueryLine(const std::string& command) { return quotedRecord("query", command); }
std::optional<std::string> readBridgeQuery(const std::string& line) { return readQuotedRecord("query", line); }
std::string bridgeNoComponentLine(const std::string& text) { return quotedRecord("nocomponent", text); }
std::optional<std::string> readBridgeNoComponent(const std::string& line)
{
    return readQuotedRecord("nocomponent", line);
}
std::string bridgeErrorLine(const std::string& why) { return quotedRecord("error", why); }
std::optional<std::string> readBridgeError(const std::string& line) { return readQuotedRecord("error", line); }

std::string bridgeDoneLine(const BridgeDone& done)
{
    return "done " + (done.reply ? quoteText(*done.reply) : std::string("null")) + " "
           + std::to_string(done.outstanding);
}

std::optional<BridgeDone> readBridgeDone(const std::string& line)
{
    std::string word, rest;
    splitRecordWord(line, word, rest);
    // The count is the last field: a quoted reply may hold blanks.
    const std::size_t blank = rest.rfind(' ');
    if (word != "done" || blank == std::string::npos)
        return std::nullopt;
    const std::string reply = rest.substr(0, blank);
    const std::optional<int> count = recordCount(rest.substr(blank + 1));
    if (!count)
        return std::nullopt;
    BridgeDone done;
    done.outstanding = static_cast<std::size_t>(*count);
    if (reply == "null")
        return done;
    done.reply = unquoteText(reply);
    return done.reply ? std::optional<BridgeDone>(done) : std::nullopt;
}

std::string bridgeReplyLine(const BridgeReply& reply)
{
    return "reply " + (reply.answer ? quoteText(*reply.answer) : std::string("null"));
}

std::optional<BridgeReply> readBridgeReply(const std::string& line, std::string& error)
{
    error.clear();
    if (line.rfind("reply ", 0) != 0)
        return std::nullopt;
    // A reply is a parent line's argument: quoted text or null.
    std::optional<Step> step = parseStep("parent " + line.substr(6), 0, error);
    if (!step) {
        if (error.empty())
            error = "not a text or null";
        return std::nullopt;
    }
    return BridgeReply{step->text};
}

std::string bridgeNoteLine(const RuleBreak& broken)
{
    return std::string("note ") + ruleBreakKindName(broken.kind) + " " + quoteText(broken.event) + " "
           + quoteText(broken.detail);
}

std::optional<RuleBreak> readBridgeNote(const std::string& line)
{
    std::string word, rest, kindName, texts;
    splitRecordWord(line, word, rest);
    splitRecordWord(rest, kindName, texts);
    std::optional<RuleBreakKind> kind = ruleBreakKindFromName(kindName);
    std::optional<std::vector<std::string>> fields = unquoteTexts(texts);
    if (word != "note" || !kind || !fields || fields->size() != 2)
        return std::nullopt;
    return RuleBreak{*kind, (*fields)[0], (*fields)[1]};
}

std::string bridgeFailLine(const BridgeLoadFailure& failed)
{
    return std::string("fail ") + (failed.failure == ComponentLibrary::Failure::factory ? "factory " : "load ")
           + quoteText(failed.why);
}

std::optional<BridgeLoadFailure> readBridgeFail(const std::string& line)
{
    std::string word, rest, what, quoted;
    splitRecordWord(line, word, rest);
    splitRecordWord(rest, what, quoted);
    std::optional<std::string> why = unquoteText(quoted);
    if (word != "fail" || !why || (what != "load" && what != "factory"))
        return std::nullopt;
    return BridgeLoadFailure{what == "factory" ? ComponentLibrary::Failure::factory : ComponentLibrary::Failure::library,
                             *why};
}

namespace {

// The simulated host with its books, but each answer asked of the far side:
// SimHost reads the command text safely first, then asks here, and gives the
// answer out and accounts for its handback as its own.
class AskingHost : public SimHost {
public:
    AskingHost(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

    bool answerElsewhere(const std::string& line, std::optional<std::string>& answer) override
    {
        if (broken_)
            return false;
        if (!bridgeAsks(line)) {
            // Whole lines only, flushed: a crash record, written by the crash
            // reporter straight to the stream, never lands inside one.
            out_ << bridgeCommandLine(line) << "\n" << std::flush;
            return false;
        }
        out_ << bridgeQueryLine(line) << "\n" << std::flush;
        if (!readReply(answer)) {
            broken_ = true;
            answer.reset();
        }
        return true;
    }

    bool broken() const { return broken_; }

private:
    bool readReply(std::optional<std::string>& answer)
    {
        std::string line;
        if (!std::getline(in_, line))
            return false;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string error;
        std::optional<BridgeReply> reply = readBridgeReply(line, error);
        if (reply)
            answer = reply->answer;
        else if (error.empty())
            note(RuleBreakKind::farSide, "the host side sent \"" + escapeText(line) + "\" where a reply was due");
        else
            note(RuleBreakKind::farSide, "unreadable reply line: " + error);
        return true;
    }

    std::istream& in_;
    std::ostream& out_;
    bool broken_ = false;
};

void flushHost(AskingHost& host, std::ostream& out)
{
    host.takeCommands();   // already sent as they came
    for (const RuleBreak& broken : host.takeRuleBreaks())
        out << bridgeNoteLine(broken) << "\n";
}

} // namespace

namespace {

// Delivers one event line's step to the session; returns the parent
// message's reply, if any. Problems with the line go out as "error".
std::optional<std::string> deliverStep(const Step& step, const std::string& line, Session& session,
                                       AskingHost& host, std::ostream& out)
{
    if (step.action == Action::HostRule || step.action == Action::HostReset) {
        out << bridgeErrorLine("host rules belong to the far side") << "\n";
        return std::nullopt;
    }
    const bool needsComponent = step.action != Action::Create && step.action != Action::Destroy;
    if (needsComponent && !session.alive()) {
        out << bridgeErrorLine("no component: the event was not delivered") << "\n";
        return std::nullopt;
    }
    setCurrentEvent(line);
    std::optional<std::string> reply;
    if (step.action == Action::Parent) {
        reply = session.parentMessage(step.text);
    } else if (step.action == Action::Create) {
        if (!session.create(step.text, step.withHost))
            out << bridgeNoComponentLine(noComponentNote) << "\n";
    } else if (step.action == Action::Button) {
        session.button(step.panel, step.control, step.eventText);
    } else if (step.action == Action::Timer) {
        session.timer(static_cast<int>(step.number));
    } else if (step.action == Action::Event) {
        const char* result = session.rawEvent(static_cast<int>(step.number),
                                              reinterpret_cast<void*>(static_cast<intptr_t>(step.data)));
        if (result)
            host.note(RuleBreakKind::codeAnswered,
                      "code " + std::to_string(step.number) + " answered non-null " + quoteText(result));
    } else if (step.action == Action::Destroy) {
        session.destroy();
    }
    setCurrentEvent("idle");
    return reply;
}

} // namespace

int serveBridge(component_factory factory, std::istream& in, std::ostream& out)
{
    AskingHost host(in, out);
    Session session(factory, host);
    out << "ready\n" << std::flush;
    std::string line;
    int count = 0;
    while (!host.broken() && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line == "quit")
            break;
        std::string error;
        std::optional<Step> step = parseStep(line, ++count, error);
        std::optional<std::string> reply;
        if (step)
            reply = deliverStep(*step, line, session, host, out);
        else
            out << bridgeErrorLine(error) << "\n";
        flushHost(host, out);
        out << bridgeDoneLine({reply, host.outstandingReplies()}) << "\n" << std::flush;
    }
    if (host.broken()) {
        // The far side went away mid-query: leave without touching the
        // component again.
        session.destroy();
        return 2;
    }
    setCurrentEvent("destroying the component at the end");
    session.destroy();
    flushHost(host, out);
    out << std::flush;
    return 0;
}

const char bridgeEntry[] = "bridge";

std::vector<std::string> bridgeArguments(const std::string& libraryPath) { return {bridgeEntry, libraryPath}; }

int runBridge(const std::string& libraryPath)
{
    // The protocol keeps a stream of its own; the component's own prints
    // land on standard error.
    RecordStream records;
    if (!records.taken()) {
        std::cerr << "zorv-host bridge: cannot set up the protocol stream\n";
        return 2;
    }
    std::ostream& out = records.out();
    // A crash is also recorded on the protocol stream, for the other side to
    // decide on.
    setCrashRecordStream(records.descriptor());
    installCrashReporter();
    setCurrentEvent("loading " + libraryPath);
    ComponentLibrary library(libraryPath);
    if (!library.factory()) {
        out << bridgeFailLine({library.failure(), library.error()}) << "\n" << std::flush;
        setCrashRecordStream(-1);
        return 3;
    }
    int status = serveBridge(library.factory(), std::cin, out);
    out << std::flush;
    setCrashRecordStream(-1);
    return status;
}

} // namespace zorv_host
