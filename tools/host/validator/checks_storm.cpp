// The storm: a seeded random run of events and host replies.
#include "validator/check_kit.h"

#include <algorithm>
#include <random>

namespace zorv_host::validation {

namespace {

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

} // namespace

void addStormChecks(CheckRegistry& registry)
{
    registry.add({"storm",
                  "a seeded random storm of events and host replies breaks no rule",
                  checkStorm});
}

} // namespace zorv_host::validation
