#include "command_catalogue.h"

#include <algorithm>
#include <cctype>

namespace zorv_host {

const std::vector<CommandVerb>& commandVerbs()
{
    using A = CommandArg;
    using P = HostPart;
    const std::nullopt_t null = std::nullopt;
    // verb, query, token, part, detaches, arguments, optional, split from
    // the right, sample reply, varied replies, meaning
    static const std::vector<CommandVerb> verbs = {
        {"PS", false, true, P::panels, false, {A::text, A::text, A::text}, 1, false, "ok", {"ok", null},
         "show a layout in a panel"},
        {"TP", false, false, P::properties, false, {A::assignment, A::text, A::text}, 0, true, "", {},
         "set a property of a control"},
        {"TG", true, false, P::properties, false, {A::text, A::text, A::text}, 0, false, "value=1",
         {"value=1", "value=9", "Value=1", "nothing", null}, "read a property of a control"},
        {"RC", false, false, P::router, false, {A::number, A::number, A::number, A::list, A::flag}, 0, false, "", {},
         "route a source to destinations"},
        {"ET", false, false, P::timers, false, {A::number, A::number}, 1, false, "", {}, "start or stop a timer"},
        {"HN", false, false, P::parent, false, {A::text}, 0, false, "", {}, "raise a notification"},
        {"SD", true, false, P::instances, false, {A::text}, 0, false, "1 2", {"1 2", "'3' '4'", "999 1", "", "x", null},
         "read an instance's device and offset"},
        {"XI", true, false, P::properties, false, {A::text, A::text}, 0, false, "alm_a,alm_b",
         {"alm_a,alm_b", "", null}, "list the controls whose names start with a prefix"},
        {"AS", false, false, P::detach, true, {}, 0, false, "", {}, "detach from the host (at destruction)"},
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

const CommandVerb& detachVerb()
{
    static const CommandVerb& verb = *std::find_if(commandVerbs().begin(), commandVerbs().end(),
                                                   [](const CommandVerb& v) { return v.detaches; });
    return verb;
}

bool isDetach(const std::string& line)
{
    const CommandVerb* verb = findCommandVerb(line);
    return verb && verb->detaches && line == verb->verb;
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

namespace {

// Quoted fields of rest ("'a' 'b' 'c'"): count fields when count > 0, the
// leftmost (fromRight) or rightmost field absorbing any extra "' '".
bool quotedFields(const std::string& rest, std::size_t count, bool fromRight, std::vector<std::string>& out)
{
    if (rest.size() < 2 || rest.front() != '\'' || rest.back() != '\'')
        return false;
    std::string inner = rest.substr(1, rest.size() - 2);
    const std::string sep = "' '";
    std::vector<std::string> parts;
    if (count == 1) {
        out.push_back(inner);
        return true;
    }
    if (fromRight) {
        std::size_t end = inner.size();
        for (std::size_t i = 1; i < count; ++i) {
            if (end < sep.size())
                return false;
            std::size_t at = inner.rfind(sep, end - sep.size());
            if (at == std::string::npos)
                return false;
            parts.insert(parts.begin(), inner.substr(at + sep.size(), end - at - sep.size()));
            end = at;
        }
        parts.insert(parts.begin(), inner.substr(0, end));
    } else {
        std::size_t start = 0;
        for (std::size_t i = 1; i < count; ++i) {
            std::size_t at = inner.find(sep, start);
            if (at == std::string::npos)
                return false;
            parts.push_back(inner.substr(start, at - start));
            start = at + sep.size();
        }
        parts.push_back(inner.substr(start));
    }
    out.insert(out.end(), parts.begin(), parts.end());
    return true;
}

bool bareInts(const std::string& rest, std::vector<std::string>& out)
{
    std::size_t pos = 0;
    while (pos <= rest.size()) {
        std::size_t blank = rest.find(' ', pos);
        std::string field = rest.substr(pos, blank == std::string::npos ? std::string::npos : blank - pos);
        std::size_t digits = !field.empty() && field[0] == '-' ? 1 : 0;
        if (field.size() == digits || field.size() > 11)
            return false;
        for (std::size_t i = digits; i < field.size(); ++i)
            if (!std::isdigit(static_cast<unsigned char>(field[i])))
                return false;
        out.push_back(field);
        if (blank == std::string::npos)
            return true;
        pos = blank + 1;
    }
    return false;
}

} // namespace

bool splitCommand(const std::string& line, std::string& verb, std::vector<std::string>& fields)
{
    fields.clear();
    verb = line.substr(0, 2);
    const CommandVerb* entry = findCommandVerb(line);
    if (!entry)
        return false;
    if (entry->args.empty())
        return line == entry->verb;
    if (line.size() < 4 || line[2] != ' ')
        return false;
    const std::string rest = line.substr(3);
    const std::vector<CommandArg>& args = entry->args;
    const std::size_t required = args.size() - entry->optional;
    const bool allQuoted = std::all_of(args.begin(), args.end(), [](CommandArg a) {
        return a == CommandArg::text || a == CommandArg::assignment || a == CommandArg::list;
    });
    if (allQuoted)
        return quotedFields(rest, quotedFieldsOf(*entry, rest), entry->splitFromRight, fields);
    if (std::all_of(args.begin(), args.end(), [](CommandArg a) { return a == CommandArg::number; }))
        return bareInts(rest, fields) && fields.size() >= required && fields.size() <= args.size();
    // Numbers, then one list, then a flag: "RC D S T ',TAIL' F".
    const std::size_t numbers = static_cast<std::size_t>(
        std::find_if(args.begin(), args.end(), [](CommandArg a) { return a != CommandArg::number; }) - args.begin());
    if (entry->optional != 0 || args.size() != numbers + 2 || args[numbers] != CommandArg::list
        || args[numbers + 1] != CommandArg::flag)
        return false;   // a shape this splitter does not know
    std::size_t quote = rest.find(" ',");
    std::size_t last = rest.rfind("' ");
    if (quote == std::string::npos || last == std::string::npos || last <= quote + 1)
        return false;
    if (!bareInts(rest.substr(0, quote), fields) || fields.size() != numbers)
        return false;
    fields.push_back(rest.substr(quote + 3, last - quote - 3));
    std::string flag = rest.substr(last + 2);
    if (flag != "0" && flag != "1")
        return false;
    fields.push_back(flag);
    return true;
}

} // namespace zorv_host
