// Checks of the event codes a component must leave alone.
#include "validator/check_kit.h"

#include <climits>

namespace zorv_host::validation {

namespace {

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
            throw CheckFailed{"code " + std::to_string(code) + " answered " + quoteText(result),
                              ResultKind::codeAnswered};
        std::vector<std::string> sent = host.takeCommands();
        if (!sent.empty())
            throw CheckFailed{"code " + std::to_string(code) + " made the component send \"" + escapeText(sent.front())
                                  + "\"",
                              ResultKind::sentOnIgnoredCode};
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
    if (session.rawEvent(zorv_code::release, nullptr) != nullptr)
        throw CheckFailed{"code 5 with null answered non-null", ResultKind::releaseAnswered};
    if (!host.takeCommands().empty())
        throw CheckFailed{"code 5 with null made the component send a command",
                          ResultKind::sentWhileReleasing};
    destroy(session);
}

} // namespace

void addCodeChecks(CheckRegistry& registry)
{
    registry.add({"codes.ignored",
                  "codes 0, 8, -1 and the other unknown or ignored codes answer null and send nothing",
                  checkIgnoredCodes});
    registry.add({"codes.release_null",
                  "code 5 with null is harmless",
                  checkReleaseNull});
}

} // namespace zorv_host::validation
