// Every command verb a component may send the host, in one table: what its
// result is, the shape of its arguments, and how its line splits into them.
// The simulated host's shape check, the bridge, the transcript splitter, the
// validator, soak and the fuzzers all read it, so a new verb is one entry.
#ifndef ZORV_HOST_COMMAND_CATALOGUE_H
#define ZORV_HOST_COMMAND_CATALOGUE_H

#include <cstddef>
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

struct CommandVerb {
    std::string verb;                // two letters, the line's start
    bool query = false;              // its reply is lent to the component, which hands it back with code 5
    bool token = false;              // a non-null result is the host's, kept until destruction, never handed back
    std::vector<CommandArg> args;    // in order; the last `optional` of them may be left out
    std::size_t optional = 0;
    bool splitFromRight = false;     // quoted fields split from the end: the first may hold the separator
    std::string sampleReply;         // what a host that lets the query succeed answers
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

// How many quoted fields a line of this verb holds: with optional quoted
// arguments, as many as its "' '" separators make, within the verb's range.
std::size_t quotedFieldsOf(const CommandVerb& verb, const std::string& line);

} // namespace zorv_host

#endif
