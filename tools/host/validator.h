// zorv-host validate: named checks of the host contract against any
// component library. Each check runs in a child process of its own, with a
// time limit, so a component that crashes or hangs fails that check only.
#ifndef ZORV_HOST_VALIDATOR_H
#define ZORV_HOST_VALIDATOR_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vocabulary.h"

namespace zorv_host {

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
