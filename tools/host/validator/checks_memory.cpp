// Checks of the memory the component and the host lend each other: its
// replies, and the host's query replies.
#include "validator/check_kit.h"

namespace zorv_host::validation {

namespace {

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

} // namespace

void addMemoryChecks(CheckRegistry& registry)
{
    registry.add({"replies.fresh",
                  "every reply is its own array, intact until released, and empty replies are null",
                  checkReplies});
    registry.add({"queries.handback",
                  "every query reply comes back once, after it was read; nothing else comes back",
                  checkQueries});
}

} // namespace zorv_host::validation
