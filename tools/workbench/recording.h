// A placement's life as a scenario: every event the workbench delivered, the
// host's answers to its queries and what followed, written in the scenario
// format so that `zorv-host check` replays it against the same library.
#ifndef ZORV_WORKBENCH_RECORDING_H
#define ZORV_WORKBENCH_RECORDING_H

#include <cstddef>
#include <deque>
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

// The memory a step holds, near enough to keep a journal within a budget.
std::size_t stepBytes(const JournalStep& step);

// A placement's present life, step by step, for a recording. A replay must
// start where the life started (create), so the journal keeps the whole
// life while a recording is on; otherwise it keeps the life only while the
// life fits a budget of bytes, then the latest steps within it, and then a
// recording cannot reach back to the life's start (wholeLife() is false
// until a new life begins). So a workbench left running, or a component
// with a fast timer, keeps its memory flat.
class Journal {
public:
    static constexpr std::size_t defaultBudget = 4 << 20;
    explicit Journal(std::size_t budgetBytes = defaultBudget) : budget_(budgetBytes) {}

    // Adds the latest step; when no recording is on, the oldest steps beyond
    // the budget go.
    void add(JournalStep step, bool recording);
    // A new life: nothing of the old one is kept.
    void newLife();
    // A recording starts here: the steps above set the component up.
    void startRecording();

    const std::deque<JournalStep>& steps() const { return steps_; }
    bool empty() const { return steps_.empty(); }
    const JournalStep& back() const { return steps_.back(); }
    std::size_t recordFrom() const { return recordFrom_; }
    bool wholeLife() const { return dropped_ == 0; }
    std::size_t dropped() const { return dropped_; }   // steps of this life no longer kept
    std::size_t bytes() const { return bytes_; }
    std::size_t budget() const { return budget_; }

private:
    std::deque<JournalStep> steps_;
    std::deque<std::size_t> sizes_;   // each step's bytes as counted when added
    std::size_t budget_;
    std::size_t bytes_ = 0;
    std::size_t dropped_ = 0;
    std::size_t recordFrom_ = 0;
};

// The scenario text: a header of comments, then for each step the host rules
// for its queries, the event line and its expected lines. A step in which
// the component failed ends the scenario, with a comment saying how: a crash
// stays in (the replay crashes the same way), a hang becomes a comment (the
// replay would hang too).
std::string scenarioText(const std::vector<JournalStep>& steps, const std::vector<std::string>& header);
std::string scenarioText(const std::deque<JournalStep>& steps, const std::vector<std::string>& header);

// A file name for a placement's scenario: letters, digits, '-' and '_' kept,
// anything else '_', ".scn" added.
std::string scenarioFileName(const std::string& placement);

} // namespace zorv_workbench

#endif
