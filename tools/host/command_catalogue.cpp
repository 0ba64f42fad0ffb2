#include "command_catalogue.h"

#include <algorithm>

namespace zorv_host {

const std::vector<CommandVerb>& commandVerbs()
{
    using A = CommandArg;
    static const std::vector<CommandVerb> verbs = {
        {"PS", false, true, {A::text, A::text, A::text}, 1, false, "ok", "put a value into the layout store"},
        {"TP", false, false, {A::assignment, A::text, A::text}, 0, true, "", "set a property of a control"},
        {"TG", true, false, {A::text, A::text, A::text}, 0, false, "value=1", "read a property of a control"},
        {"RC", false, false, {A::number, A::number, A::number, A::list, A::flag}, 0, false, "",
         "route a source to destinations"},
        {"ET", false, false, {A::number, A::number}, 1, false, "", "start or stop a timer"},
        {"HN", false, false, {A::text}, 0, false, "", "raise a notification"},
        {"SD", true, false, {A::text}, 0, false, "1 2", "read a status"},
        {"XI", true, false, {A::text, A::text}, 0, false, "alm_a,alm_b", "list items"},
        {"AS", false, false, {}, 0, false, "", "detach from the host (at destruction)"},
    };
    return verbs;
}

const CommandVerb* findCommandVerb(const std::string& line)
{
    const std::string verb = line.substr(0, 2);
    for (const CommandVerb& entry : commandVerbs())
        if (entry.verb == verb)
            return &entry;
    return nullptr;
}

std::size_t quotedFieldsOf(const CommandVerb& verb, const std::string& line)
{
    std::size_t required = 0, all = 0;
    for (std::size_t i = 0; i < verb.args.size(); ++i)
        if (verb.quoted(i)) {
            ++all;
            required += i + verb.optional < verb.args.size() ? 1 : 0;
        }
    if (required == all)
        return all;
    std::size_t separators = 0;
    for (std::size_t at = line.find("' '"); at != std::string::npos; at = line.find("' '", at + 1))
        ++separators;
    return std::clamp(separators + 1, required, all);
}

} // namespace zorv_host
