#include "recording.h"

#include <cctype>

#include "runner.h"
#include "sim_host.h"

namespace zorv_workbench {

namespace {

// A host rule matches by pattern, where '*' is any run; the line itself is
// a pattern that matches at least itself, and the latest rule decides, so a
// rule written right before its event gives exactly this answer.
std::string hostRule(const HostAnswer& answer)
{
    return "host " + answer.line + " -> " + (answer.reply ? zorv_host::quoteText(*answer.reply) : "null");
}

template <typename Steps>
std::string stepsText(const Steps& steps, const std::vector<std::string>& header)
{
    std::string text;
    for (const std::string& line : header)
        text += "# " + line + "\n";
    for (const JournalStep& step : steps) {
        if (!step.comment.empty())
            text += "# " + step.comment + "\n";
        for (const HostAnswer& answer : step.answers)
            text += hostRule(answer) + "\n";
        if (step.failure && step.failure->end == ChildEnd::hung) {
            // Replayed, the event would hang the checker too.
            text += "# the component hung here, on: " + step.event + "\n# " + step.failure->text + "\n";
            break;
        }
        text += step.event + "\n";
        for (const std::string& command : step.commands)
            text += zorv_host::showCommand(command) + "\n";
        for (const std::string& note : step.notes)
            text += "! " + note + "\n";
        if (step.failure) {
            text += "# the component failed here: " + step.failure->text + "\n";
            break;
        }
        if (step.parent)
            text += step.reply ? "< " + zorv_host::quoteText(*step.reply) + "\n" : "< null\n";
    }
    return text;
}

std::size_t textBytes(const std::string& text) { return sizeof text + text.capacity(); }

} // namespace

std::string scenarioText(const std::vector<JournalStep>& steps, const std::vector<std::string>& header)
{
    return stepsText(steps, header);
}

std::string scenarioText(const std::deque<JournalStep>& steps, const std::vector<std::string>& header)
{
    return stepsText(steps, header);
}

std::size_t stepBytes(const JournalStep& step)
{
    std::size_t bytes = sizeof step + textBytes(step.event) + textBytes(step.comment);
    for (const HostAnswer& answer : step.answers)
        bytes += sizeof answer + textBytes(answer.line) + (answer.reply ? answer.reply->capacity() : 0);
    for (const std::string& command : step.commands)
        bytes += textBytes(command);
    for (const std::string& note : step.notes)
        bytes += textBytes(note);
    if (step.reply)
        bytes += step.reply->capacity();
    if (step.failure)
        bytes += step.failure->text.capacity();
    return bytes;
}

void Journal::add(JournalStep step, bool recording)
{
    sizes_.push_back(stepBytes(step));
    bytes_ += sizes_.back();
    steps_.push_back(std::move(step));
    if (recording)
        return;
    while (bytes_ > budget_ && steps_.size() > 1) {
        bytes_ -= sizes_.front();
        sizes_.pop_front();
        steps_.pop_front();
        ++dropped_;
        recordFrom_ = recordFrom_ > 0 ? recordFrom_ - 1 : 0;
    }
}

void Journal::newLife()
{
    steps_.clear();
    sizes_.clear();
    bytes_ = 0;
    dropped_ = 0;
    recordFrom_ = 0;
}

void Journal::startRecording()
{
    recordFrom_ = steps_.size();
    for (JournalStep& step : steps_)
        step.comment.clear();   // the marker of an earlier recording
}

std::string scenarioFileName(const std::string& placement)
{
    std::string name;
    for (unsigned char c : placement)
        name += (std::isalnum(c) || c == '-' || c == '_') ? static_cast<char>(c) : '_';
    return (name.empty() ? "placement" : name) + ".scn";
}

} // namespace zorv_workbench
