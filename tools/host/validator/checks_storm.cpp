// The storm: a seeded random run of events and host replies.
#include "validator/check_kit.h"

#include "command_catalogue.h"

#include <algorithm>
#include <random>

namespace zorv_host::validation {

namespace {

const char* const stormValues[] = {"", "0", "1", "2", "-1", "999", "1000", "all", "x y", "'q'", "%1", "2147483648"};

// One storm: its component, host, vocabulary and seeded choices.
struct Storm {
    SimHost& host;
    Session& session;
    const Vocabulary& vocabulary;
    std::mt19937_64 random;

    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(random() % n); }
    const char* value() { return stormValues[pick(sizeof stormValues / sizeof *stormValues)]; }
    void begin(int i, const std::string& event) { setCurrentEvent("storm event " + std::to_string(i) + ": " + event); }

    // Every answered verb gets one of the answers a host may give, then a
    // few of the author's own host rules on top.
    void varyReplies()
    {
        host.clearRules();
        for (const CommandVerb& verb : commandVerbs())
            if (!verb.variedReplies.empty())
                host.addRule(verb.verb + " *", verb.variedReplies[pick(verb.variedReplies.size())]);
        for (std::size_t n = vocabulary.hostRules.empty() ? 0 : pick(3); n > 0; --n) {
            const ReplyRule& rule = vocabulary.hostRules[pick(vocabulary.hostRules.size())];
            host.addRule(rule.pattern, rule.reply);
        }
    }

    // A word of the vocabulary with a value, or a message of its seed corpus
    // as it is or with another value.
    std::string message()
    {
        std::string text = vocabulary.words[pick(vocabulary.words.size())];
        if (pick(4))
            text += std::string("=") + value();
        if (!vocabulary.messages.empty() && pick(3) == 0) {
            text = vocabulary.messages[pick(vocabulary.messages.size())];
            std::size_t equals = text.find('=');
            if (equals != std::string::npos && pick(2))
                text = text.substr(0, equals + 1) + value();
        }
        return text;
    }

    std::string parentEvent(int i)
    {
        const std::string text = message();
        const std::string event = "parent " + quoteText(text);
        begin(i, event);
        const char* reply = session.rawEvent(zorv_code::parentMessage, const_cast<char*>(text.c_str()));
        if (reply) {
            require(reply[0] != '\0', event + " answered an empty text, not null");
            session.release(reply);
        }
        return event;
    }

    // A fixed press, or half the time one of the component's own controls
    // with its event text or another.
    std::string buttonEvent(int i)
    {
        const char* panels[] = {"1", "2", ""};
        const char* controls[] = {"Monitor", "Ident", "ActionAll", "AckAll", "x"};
        const char* texts[] = {"", "alarm=ack", "alarm=2", "press"};
        std::string panel = panels[pick(3)], control = controls[pick(5)], text = texts[pick(4)];
        std::string event = "button " + panel + " " + control + " " + quoteText(text);
        if (!vocabulary.controls.empty() && pick(2)) {
            const PanelControl& own = vocabulary.controls[pick(vocabulary.controls.size())];
            panel = own.panel;
            control = own.control;
            text = pick(4) ? own.eventText : text;
            event = describePress(own, text);
        }
        begin(i, event);
        session.button(panel, control, text);
        return event;
    }

    std::string timerEvent(int i)
    {
        int timer = static_cast<int>(pick(4));
        if (!vocabulary.timers.empty() && pick(2))
            timer = vocabulary.timers[pick(vocabulary.timers.size())];
        const std::string event = "timer " + std::to_string(timer);
        begin(i, event);
        session.timer(timer);
        return event;
    }

    std::string codeEvent(int i)
    {
        const int codes[] = {0, 1, 5, 6, 7, 8, -1};
        const int code = codes[pick(7)];
        const std::string event = "event " + std::to_string(code);
        begin(i, event);
        require(session.rawEvent(code, nullptr) == nullptr, event + " answered non-null");
        return event;
    }

    std::string recreate(int i)
    {
        const std::string event = "destroy and create";
        begin(i, event);
        session.destroy();
        requireNoNotes(host, "storm event " + std::to_string(i) + " (" + event + ")");
        create(session, std::string(pick(2) ? "" : "C:/p"));
        return event;
    }

    std::string anyEvent(int i)
    {
        const std::size_t kind = pick(100);
        return kind < 65 ? parentEvent(i) : kind < 80 ? buttonEvent(i) : kind < 92 ? timerEvent(i)
                                          : kind < 97 ? codeEvent(i) : recreate(i);
    }
};

// A seeded random storm of events and host replies.
void checkStorm(const Context& c)
{
    const int events = c.strictness == 1 ? 2000 : c.strictness == 2 ? 20000 : 200000;
    SimHost host;
    host.setCheckShapes(true);
    Session session(c.factory, host);
    create(session, std::string(""));
    const Vocabulary vocabulary = discover(c, session, host);
    requireNoNotes(host, "creation and the \"_commands\" and \"_events\" queries");
    endIfTooSlow(c, session.takeSlowest());
    Storm storm{host, session, vocabulary, std::mt19937_64(c.seed)};
    for (int i = 0; i < events; ++i) {
        if (storm.pick(8) == 0)
            storm.varyReplies();
        const std::string event = storm.anyEvent(i);
        requireNoNotes(host, "storm event " + std::to_string(i) + " (" + event + ")");
        // One stalled event ends the storm: thousands more would only run out its time.
        endIfTooSlow(c, session.takeSlowest());
        host.takeCommands();
    }
    host.clearLog();
    destroy(session);
    requireNoNotes(host, "the storm's end");
    const std::vector<std::string>& last = host.allCommands();
    const long detaches = std::count_if(last.begin(), last.end(), isDetach);
    require(detaches == 1, quoteText(detachVerb().verb) + " was sent " + std::to_string(detaches)
                               + " times at the storm's end");
}

} // namespace

void addStormChecks(CheckRegistry& registry)
{
    registry.add({"storm",
                  "a seeded random storm of events and host replies breaks no rule",
                  checkStorm});
}

} // namespace zorv_host::validation
