// A placement's life as a scenario: every event the workbench delivered, the
// host's answers to its queries and what followed, written in the scenario
// format so that `zorv-host check` replays it against the same library.
#ifndef ZORV_WORKBENCH_RECORDING_H
#define ZORV_WORKBENCH_RECORDING_H

#include <optional>
#include <string>
#include <vector>

#include "bridge_client.h"

namespace zorv_workbench {

struct HostAnswer {
    std::string line;                     // the query line as sent
    std::optional<std::string> reply;     // what the workbench answered
};

struct JournalStep {
    std::string event;                    // the scenario line delivered
    std::vector<HostAnswer> answers;      // queries answered during it
    std::vector<std::string> commands;    // command lines, queries included
    std::vector<std::string> notes;       // the transcript's notes: rule breaks, a factory's null
    bool noComponent = false;             // a create whose factory made no component
    bool parent = false;                  // a parent message: has a reply
    std::optional<std::string> reply;
    std::optional<ChildFailure> failure;  // the component failed during it
    std::string comment;                  // written above the step
};

// The scenario text: a header of comments, then for each step the host rules
// for its queries, the event line and its expected lines. A step in which
// the component failed ends the scenario, with a comment saying how: a crash
// stays in (the replay crashes the same way), a hang becomes a comment (the
// replay would hang too).
std::string scenarioText(const std::vector<JournalStep>& steps, const std::vector<std::string>& header);

// A file name for a placement's scenario: letters, digits, '-' and '_' kept,
// anything else '_', ".scn" added.
std::string scenarioFileName(const std::string& placement);

} // namespace zorv_workbench

#endif
