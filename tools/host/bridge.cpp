#include "bridge.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <optional>

#include "command_catalogue.h"
#include "library_loader.h"
#include "platform/console.h"
#include "scenario.h"
#include "session.h"
#include "sim_host.h"

namespace zorv_host {

bool bridgeAsks(const std::string& line)
{
    const CommandVerb* verb = findCommandVerb(line);
    return verb && verb->answered();
}

namespace {

// The simulated host with its books, but each answer asked of the far side:
// the answer becomes a rule for this one line, so SimHost gives it out and
// accounts for its handback.
class AskingHost : public SimHost {
public:
    AskingHost(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

    const char* callback(void* data, int code) override
    {
        if (code != zorv_code::command || !data || broken_)
            return SimHost::callback(data, code);
        std::string line(static_cast<const char*>(data));
        if (!bridgeAsks(line)) {
            out_ << "cmd " << quoteText(line) << "\n";
            return SimHost::callback(data, code);
        }
        out_ << "query " << quoteText(line) << "\n" << std::flush;
        std::optional<std::string> answer;
        if (!readReply(answer)) {
            broken_ = true;
            answer.reset();
        }
        clearRules();
        // The line itself as the pattern: '*' in it still matches itself.
        addRule(line, answer);
        const char* result = SimHost::callback(data, code);
        clearRules();
        return result;
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
        if (line.rfind("reply ", 0) != 0) {
            note(RuleBreakKind::farSide, "the host side sent \"" + escapeText(line) + "\" where a reply was due");
            return true;
        }
        // A reply is a parent line's argument: quoted text or null.
        std::string error;
        std::optional<Step> step = parseStep("parent " + line.substr(6), 0, error);
        if (!step) {
            note(RuleBreakKind::farSide, "unreadable reply line: " + error);
            return true;
        }
        answer = step->text;
        return true;
    }

    std::istream& in_;
    std::ostream& out_;
    bool broken_ = false;
};

void flushHost(AskingHost& host, std::ostream& out)
{
    host.takeCommands();   // already sent as they came
    for (const std::string& note : host.takeNotes())
        out << "note " << quoteText(note) << "\n";
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
        ++count;
        std::string error;
        std::optional<Step> step = parseStep(line, count, error);
        std::optional<std::string> reply;
        if (!step) {
            out << "error " << quoteText(error) << "\n";
        } else if (step->action == Action::HostRule || step->action == Action::HostReset) {
            out << "error " << quoteText("host rules belong to the far side") << "\n";
        } else {
            bool needsComponent = step->action != Action::Create && step->action != Action::Destroy;
            setCurrentEvent(line);
            if (needsComponent && !session.alive()) {
                out << "error " << quoteText("no component: the event was not delivered") << "\n";
            } else if (step->action == Action::Parent) {
                reply = session.parentMessage(step->text);
            } else if (step->action == Action::Create) {
                if (!session.create(step->text, step->withHost))
                    out << "note " << quoteText("the factory returned null") << "\n";
            } else if (step->action == Action::Button) {
                session.button(step->panel, step->control, step->eventText);
            } else if (step->action == Action::Timer) {
                session.timer(static_cast<int>(step->number));
            } else if (step->action == Action::Event) {
                const char* result = session.rawEvent(static_cast<int>(step->number),
                                                      reinterpret_cast<void*>(static_cast<intptr_t>(step->data)));
                if (result)
                    host.note(RuleBreakKind::codeAnswered,
                              "code " + std::to_string(step->number) + " answered non-null " + quoteText(result));
            } else if (step->action == Action::Destroy) {
                session.destroy();
            }
            setCurrentEvent("idle");
        }
        flushHost(host, out);
        out << "done " << (reply ? quoteText(*reply) : std::string("null")) << " " << host.outstandingReplies()
            << "\n"
            << std::flush;
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
    FILE* stream = platform::takeStandardOutput();
    if (!stream) {
        std::cerr << "zorv-host bridge: cannot set up the protocol stream\n";
        return 2;
    }
    struct FileBuf : std::streambuf {
        FILE* file;
        explicit FileBuf(FILE* f) : file(f) {}
        int overflow(int c) override { return c == EOF ? 0 : std::fputc(c, file); }
        std::streamsize xsputn(const char* s, std::streamsize n) override
        {
            return static_cast<std::streamsize>(std::fwrite(s, 1, static_cast<std::size_t>(n), file));
        }
        int sync() override { return std::fflush(file); }
    } buffer(stream);
    std::ostream out(&buffer);

    installCrashReporter();
    setCurrentEvent("loading " + libraryPath);
    ComponentLibrary library(libraryPath);
    if (!library.factory()) {
        out << "fail " << quoteText(library.error()) << "\n" << std::flush;
        std::fclose(stream);
        return 3;
    }
    int status = serveBridge(library.factory(), std::cin, out);
    out << std::flush;
    std::fclose(stream);
    return status;
}

} // namespace zorv_host
