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
    bool inProcess = false;                // no child processes (debugging)
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
const int validateJsonSchema = 3;   // 3: "fails_from_strictness" null for a WARN-only check
std::vector<CheckInfo> listChecks();

// Runs the selected checks; returns the exit status.
int runValidate(const ValidateOptions& options);

} // namespace zorv_host

#endif
