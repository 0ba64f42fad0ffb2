// A broken rule of the host contract, as the simulated host records it: what
// kind of rule, the event being delivered when it broke, and the sentence a
// transcript shows for it. Checks decide by kind, never by the sentence.
#ifndef ZORV_HOST_RULE_BREAK_H
#define ZORV_HOST_RULE_BREAK_H

#include <string>

namespace zorv_host {

enum class RuleBreakKind {
    nullCommand,            // a command with a null text
    unterminatedCommand,    // a command text without its NUL in readable memory
    oversizedCommand,       // a command text of more than 64 MiB
    commandChanged,         // the command text changed during the host call
    unknownHostCode,        // the host called with a code it does not take
    commandAfterDetach,     // a command after "AS"
    unknownVerb,            // a command line of no known verb
    malformedCommand,       // a known verb with arguments of another shape
    nullHandback,           // code 5 to the host with a null pointer
    tokenHandedBack,        // a result that never comes back was handed back
    secondHandback,         // a query reply handed back twice
    foreignHandback,        // a pointer the host never gave handed back
    replyNotHandedBack,     // a query reply still out at destruction
    replyIntoMessageText,   // a reply that points into the host's message text
    buttonAnswered,         // a button event answered non-null
    timerAnswered,          // a timer answered non-null
    releaseAnswered,        // the release of a reply answered non-null
    codeAnswered,           // another event code answered non-null
    sentWhileReleasing,     // a command while the component's reply was being released
    farSide,                // the other side of a bridge broke the exchange
};

// The kind's name, as JSON and logs show it ("unknown_verb").
const char* ruleBreakKindName(RuleBreakKind kind);

struct RuleBreak {
    RuleBreakKind kind;
    std::string event;    // the event being delivered when it broke
    std::string detail;   // the transcript's sentence for it, as it has always read

    const std::string& text() const { return detail; }
};

} // namespace zorv_host

#endif
