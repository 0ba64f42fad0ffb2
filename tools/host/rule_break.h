// A broken rule of the host contract, as the simulated host records it: what
// kind of rule, the event being delivered when it broke, and the sentence a
// transcript shows for it. Checks decide by kind, never by the sentence; the
// kind's stable name is what JSON, logs and the bridge protocol carry.
#ifndef ZORV_HOST_RULE_BREAK_H
#define ZORV_HOST_RULE_BREAK_H

#include <optional>
#include <string>

// An enumerator of a list written as X(enumerator, "stable_name") entries.
#define ZORV_ENUMERATOR(enumerator, name) enumerator,

// Every kind of rule break, once: its enumerator and its stable name. A new
// kind is one line here; it is a validator result kind too (validator.h).
#define ZORV_RULE_BREAK_KINDS(X)                                                                               \
    X(nullCommand, "null_command")                     /* a command with a null text */                        \
    X(unterminatedCommand, "unterminated_command")     /* a command text without its NUL in readable memory */ \
    X(oversizedCommand, "oversized_command")           /* a command text of more than 64 MiB */                \
    X(commandChanged, "command_changed")               /* the command text changed during the host call */     \
    X(unknownHostCode, "unknown_host_code")            /* the host called with a code it does not take */      \
    X(commandAfterDetach, "command_after_detach")      /* a command after "AS" */                              \
    X(unknownVerb, "unknown_verb")                     /* a command line of no known verb */                   \
    X(malformedCommand, "malformed_command")           /* a known verb with arguments of another shape */      \
    X(nullHandback, "null_handback")                   /* code 5 to the host with a null pointer */            \
    X(tokenHandedBack, "token_handed_back")            /* a result that never comes back was handed back */    \
    X(secondHandback, "second_handback")               /* a query reply handed back twice */                   \
    X(foreignHandback, "foreign_handback")             /* a pointer the host never gave handed back */         \
    X(replyNotHandedBack, "reply_not_handed_back")     /* a query reply still out at destruction */            \
    X(replyIntoMessageText, "reply_into_message_text") /* a reply that points into the host's message text */  \
    X(buttonAnswered, "button_answered")               /* a button event answered non-null */                  \
    X(timerAnswered, "timer_answered")                 /* a timer answered non-null */                         \
    X(releaseAnswered, "release_answered")             /* the release of a reply answered non-null */          \
    X(codeAnswered, "code_answered")                   /* another event code answered non-null */              \
    X(sentWhileReleasing, "sent_while_releasing")      /* a command while the component's reply was released */ \
    X(farSide, "far_side")                             /* the other side of a bridge broke the exchange */     \
    X(offThreadCall, "off_thread_call")                /* the host called from a thread not its own */

namespace zorv_host {

enum class RuleBreakKind { ZORV_RULE_BREAK_KINDS(ZORV_ENUMERATOR) };

// The kind's stable name, as JSON, logs and the bridge show it ("unknown_verb").
const char* ruleBreakKindName(RuleBreakKind kind);
// The kind of that name; nullopt for a name of no kind.
std::optional<RuleBreakKind> ruleBreakKindFromName(const std::string& name);

struct RuleBreak {
    RuleBreakKind kind;
    std::string event;    // the event being delivered when it broke
    std::string detail;   // the transcript's sentence for it, as it has always read

    const std::string& text() const { return detail; }
};

} // namespace zorv_host

#endif
