// Every command verb a component may send the host, in one table: what its
// result is, the shape of its arguments, and how its line splits into them.
// The simulated host's shape check, the bridge, the transcript splitter, the
// validator, soak and the fuzzers all read it, so a new verb is one entry.
#ifndef ZORV_HOST_COMMAND_CATALOGUE_H
#define ZORV_HOST_COMMAND_CATALOGUE_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zorv_host {

// One argument of a command line. Quoted arguments hold anything (nothing
// inside is escaped); numbers are decimal, optionally negative.
enum class CommandArg {
    text,         // 'anything'
    assignment,   // 'name=value'
    number,       // -12
    list,         // ',a,b': a list that starts with its separator
    flag,         // 0 or 1
};

// The part of the host a verb acts on; the host model (host_model.h)
// carries each verb out there.
enum class HostPart {
    panels,       // layouts shown in panels
    properties,   // the properties of the controls of a shown layout
    instances,    // the instance table: a name's device and offset
    router,       // crosspoints
    timers,       // host timers that expire as events
    parent,       // notifications to the parent panel
    detach,       // the component leaves the host
};

struct CommandVerb {
    std::string verb;                // two letters, the line's start
    bool query = false;              // its reply is lent to the component, which hands it back with code 5
    bool token = false;              // a non-null result is the host's, kept until destruction, never handed back
    HostPart part = HostPart::parent;
    bool detaches = false;           // the last command of a component: nothing may follow it
    std::vector<CommandArg> args;    // in order; the last `optional` of them may be left out
    std::size_t optional = 0;
    bool splitFromRight = false;     // quoted fields split from the end: the first may hold the separator
    std::string sampleReply;         // what a host that lets the query succeed answers
    // Answers a host may give, odd ones and null among them, for a storm
    // that varies them (empty when the result is ignored).
    std::vector<std::optional<std::string>> variedReplies;
    std::string meaning;

    // The host answers the line (a query's reply or a token): a bridge asks
    // its far side.
    bool answered() const { return query || token; }
    bool quoted(std::size_t arg) const
    {
        return args[arg] == CommandArg::text || args[arg] == CommandArg::assignment || args[arg] == CommandArg::list;
    }
};

// The catalogue, in a fixed order.
const std::vector<CommandVerb>& commandVerbs();

// The entry of a line's verb (its first two characters), or null.
const CommandVerb* findCommandVerb(const std::string& line);

// The detach command, the last a component sends; isDetach tells whether
// a line is it.
const CommandVerb& detachVerb();
bool isDetach(const std::string& line);

// How many quoted fields a line of this verb holds: with optional quoted
// arguments, as many as its "' '" separators make, within the verb's range.
std::size_t quotedFieldsOf(const CommandVerb& verb, const std::string& line);

// Splits a host command line into its verb and fields. Nothing is escaped
// inside a quoted field, so a field holding "' '" is ambiguous; each verb is
// split so that the field most likely to hold odd text absorbs it (the value
// of "TP", the property of "TG", the text of "HN" and "SD"). False when the
// line does not have its verb's shape.
bool splitCommand(const std::string& line, std::string& verb, std::vector<std::string>& fields);

} // namespace zorv_host

#endif
