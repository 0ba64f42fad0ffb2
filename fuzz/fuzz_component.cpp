// A stateful fuzzer: drives a Selvarin component through random sequences
// of every event code while the host answers queries with random replies
// (null included) and keeps the books. Any rule break aborts: a query reply
// not handed back exactly once, a handback of a foreign pointer, a command
// after "AS" or of a bad shape, a non-null answer to an ignored code, an
// empty reply that is not null. Component replies are held and released at
// the end, so the sanitizer sees a leak or a double release.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command_catalogue.h"
#include "session.h"
#include "sim_host.h"
#include "zorv_plugin_entry.h"

using namespace zorv_host;

namespace {

// A rule for every verb the host answers: the queries and the tokens.
const std::vector<std::string>& answeredPatterns()
{
    static const std::vector<std::string> patterns = [] {
        std::vector<std::string> made;
        for (const CommandVerb& verb : commandVerbs())
            if (verb.answered())
                made.push_back(verb.verb + " *");
        return made;
    }();
    return patterns;
}

void* factory(void* host, const char* basePath)
{
    return load_zorv_client_script(static_cast<host_callback_base*>(host), basePath);
}

void requireNoNotes(SimHost& host)
{
    std::vector<std::string> notes = host.takeNotes();
    if (!notes.empty()) {
        std::fprintf(stderr, "rule break: %s\n", notes.front().c_str());
        std::abort();
    }
}

std::optional<std::string> maybeText(FuzzedDataProvider& in, std::size_t max)
{
    if (in.ConsumeIntegralInRange<int>(0, 4) == 0)
        return std::nullopt;
    std::string t = in.ConsumeRandomLengthString(max);
    return t.substr(0, t.find('\0'));
}

const char* const words[] = {"return", "source", "activedest", "instance", "selectedbg", "deselectedbg",
                             "_events", "_commands", "other"};

std::string message(FuzzedDataProvider& in)
{
    std::string word = words[in.ConsumeIntegralInRange<std::size_t>(0, std::size(words) - 1)];
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return word;
    case 1: return word + "=" + std::to_string(in.ConsumeIntegralInRange<int>(-2, 1001));
    case 2: return word + "=" + in.ConsumeRandomLengthString(24);
    default: return in.ConsumeRandomLengthString(48);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    SimHost host;
    host.setCheckShapes(true);
    std::vector<const char*> held;   // component replies not yet released
    {
        Session session(factory, host);
        if (!session.create(maybeText(in, 16), in.ConsumeIntegralInRange<int>(0, 7) != 0))
            std::abort();
        while (in.remaining_bytes() > 0) {
            switch (in.ConsumeIntegralInRange<int>(0, 9)) {
            case 0:
                host.addRule(answeredPatterns()[in.ConsumeIntegralInRange<std::size_t>(0, answeredPatterns().size() - 1)],
                             maybeText(in, 24));
                break;
            case 1:
            case 2:
            case 3: {
                std::string text = message(in);
                text = text.substr(0, text.find('\0'));
                const char* reply = session.rawEvent(zorv_code::parentMessage, const_cast<char*>(text.c_str()));
                if (reply && reply[0] == '\0')
                    std::abort();   // an empty reply must be null
                if (reply)
                    held.push_back(reply);
                break;
            }
            case 4: {
                std::string panel = in.PickValueInArray({"1", "2", "01", ""});
                std::string control = in.PickValueInArray({"Monitor", "Ident", "ActionAll", "AckAll", "x"});
                std::string event = in.ConsumeRandomLengthString(16);
                session.button(panel, control, event.substr(0, event.find('\0')));
                break;
            }
            case 5:
                session.timer(in.ConsumeIntegralInRange<int>(-1, 8));
                break;
            case 6: {
                int code = in.PickValueInArray({0, 1, 6, 7, 8, -1, 100});
                if (session.rawEvent(code, reinterpret_cast<void*>(static_cast<intptr_t>(in.ConsumeIntegral<uint16_t>()))))
                    std::abort();
                break;
            }
            case 7:
                if (!held.empty()) {
                    session.rawEvent(zorv_code::release, const_cast<char*>(held.back()));
                    held.pop_back();
                } else {
                    session.rawEvent(zorv_code::release, nullptr);
                }
                break;
            case 8:
                for (const char* reply : held)
                    session.rawEvent(zorv_code::release, const_cast<char*>(reply));
                held.clear();
                session.destroy();
                requireNoNotes(host);
                if (!session.create(maybeText(in, 16)))
                    std::abort();
                break;
            default:
                session.parentMessage(std::string("instance=") + std::to_string(in.ConsumeIntegral<uint8_t>()));
                break;
            }
            requireNoNotes(host);
        }
        for (const char* reply : held)
            session.rawEvent(zorv_code::release, const_cast<char*>(reply));
        session.destroy();
    }
    requireNoNotes(host);
    if (host.outstandingReplies() != 0)
        std::abort();
    return 0;
}
