// zorv-host validate: named checks of the host contract against any
// component library. Each check runs in a child process of its own, with a
// time limit, so a component that crashes or hangs fails that check only.
#ifndef ZORV_HOST_VALIDATOR_H
#define ZORV_HOST_VALIDATOR_H

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "guarded_memory.h"
#include "rule_break.h"
#include "vocabulary.h"

// The validator's own findings, once: the enumerator and the stable name of
// each kind of result that is neither a rule break nor a memory fault.
#define ZORV_VALIDATOR_FINDINGS(X)                                                                       \
    X(loadFailed, "load_failed")               /* the library did not load (or, skipped: cannot load) */ \
    X(hang, "hang")                            /* no verdict within the time limit */                    \
    X(crash, "crash")                          /* the component crashed, not on guarded memory */        \
    X(processEnded, "process_ended")           /* the check's process ended with neither verdict nor crash report */ \
    X(sentOnIgnoredCode, "sent_on_ignored_code") /* an ignored event code made the component send */      \
    X(ambiguousLine, "ambiguous_line")         /* a well-shaped line with a quote inside a text */       \
    X(undeclaredEvent, "undeclared_event")     /* a notification not declared in "_events" */            \
    X(detachedEarly, "detached_early")         /* "AS" before the component was destroyed */             \
    X(detachCount, "detach_count")             /* "AS" not sent exactly once */                          \
    X(layoutUnread, "layout_unread")           /* a layout the component shows is missing or unreadable */ \
    X(slowHandler, "slow_handler")             /* an event's handling took over the time limit */        \
    X(growthPerEvent, "growth_per_event")      /* memory in use grows with a kind of event */

namespace zorv_host {

// What a check result found, as --json names it in "kind" and JUnit in a
// failure's type: one of the validator's own findings, a broken rule of the
// host contract (rule_break.h) or a fault on guarded memory
// (guarded_memory.h), each under its own stable name.
enum class ResultKind {
    none,   // a plain requirement, or nothing found: JSON null
    ZORV_VALIDATOR_FINDINGS(ZORV_ENUMERATOR)
    ZORV_RULE_BREAK_KINDS(ZORV_ENUMERATOR)
    ZORV_MEMORY_FAULT_KINDS(ZORV_ENUMERATOR)
};

// The kind's stable name ("unknown_verb", "hang"); "" for none.
const char* resultKindName(ResultKind kind);
// The kind of that name ("" is none); nullopt for a name of no kind.
std::optional<ResultKind> resultKindFromName(const std::string& name);
ResultKind resultKindOf(RuleBreakKind kind);
ResultKind resultKindOf(guarded::FaultKind kind);

// How a check ended.
enum class CheckStatus { pass, fail, skip, warn };

// Its stable name, as the text and --json show it: "PASS", "FAIL", "SKIP", "WARN".
const char* checkStatusName(CheckStatus status);
// The status of that name; nullopt for any other text.
std::optional<CheckStatus> checkStatusFromName(const std::string& name);

// A check's verdict as the child process that ran it hands it to its
// parent: one line on a stream the component's printing cannot reach,
//   verdict STATUS KIND "REASON" "CAUSE"
// STATUS its name, KIND the result kind's name or "-" for none, REASON and
// CAUSE quoted as in scenario files. The read gives nullopt for any other
// line.
struct CheckVerdict {
    CheckVerdict() = default;
    CheckVerdict(CheckStatus status, std::string reason, ResultKind kind = ResultKind::none, std::string cause = "")
        : status(status), reason(std::move(reason)), kind(kind), cause(std::move(cause))
    {
    }
    CheckStatus status = CheckStatus::pass;
    std::string reason;
    ResultKind kind = ResultKind::none;   // what broke; none: a plain requirement or nothing
    std::string cause;                    // what broke without where; "": the reason alone says it

    // What one fault is known by: checks whose verdicts share it failed of it.
    std::string fault() const { return cause.empty() ? reason : cause; }
};
std::string checkVerdictLine(const CheckVerdict& verdict);
std::optional<CheckVerdict> readCheckVerdict(const std::string& line);

struct ValidateOptions {
    std::string library;
    std::vector<std::string> only, skip;   // check names or groups, '*' allowed
    int strictness = 2;                    // 1, 2 or 3
    std::optional<std::uint64_t> seed;     // none: one is drawn and printed
    double timeout = 0;                    // seconds per check; 0: 60 x strictness
    bool json = false;
    std::string junit;                     // also write a JUnit XML report here
    int repeat = 1;                        // rounds of the whole selection
    bool randomise = false;                // each round: its checks shuffled, a seed of its own
    int jobs = 1;                          // checks run at a time (each in its child process)
    bool inProcess = false;                // no child processes (debugging); one check at a time
    bool guard = true;                     // lent memory in guarded pages
    std::string runCheck;                  // the child's side: run this one check
    VocabularySources sources;             // controls and scenarios to send besides the probes
};

// The names and descriptions of all checks, in the order they run.
struct CheckInfo {
    std::string name;
    std::string description;
    int failsFrom = 1;   // the strictness from which a finding fails; below it, a WARN; 0: its finding is a WARN at every strictness
};

// The version of --json's layout; raised when a field changes meaning or goes.
// 3: "fails_from_strictness" null for a WARN-only check; 4: "rounds", and
// "round" on every check result; 5: "kind" on every check result.
const int validateJsonSchema = 5;
std::vector<CheckInfo> listChecks();

// The seeds of rounds 2, 3, ... of a randomised run drawn from the first,
// so that the first round's seed replays the whole run.
std::vector<std::uint64_t> roundSeeds(std::uint64_t first, int rounds, bool randomise);

// The order in which a randomised round runs count checks, drawn from the
// round's seed alone: the same on every platform and standard library.
std::vector<std::size_t> shuffledOrder(std::size_t count, std::uint64_t seed);

// Runs the selected checks; returns the exit status.
int runValidate(const ValidateOptions& options);

// Validation runs each check, and preflight the whole validation, in a child
// process of a program that exposes runValidate under the name validateEntry
// (zorv-host does, as a subcommand, with the options of ValidateOptions).
extern const char validateEntry[];

} // namespace zorv_host

#endif
