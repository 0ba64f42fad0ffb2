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

} // namespace

std::string scenarioText(const std::vector<JournalStep>& steps, const std::vector<std::string>& header)
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

std::string scenarioFileName(const std::string& placement)
{
    std::string name;
    for (unsigned char c : placement)
        name += (std::isalnum(c) || c == '-' || c == '_') ? static_cast<char>(c) : '_';
    return (name.empty() ? "placement" : name) + ".scn";
}

} // namespace zorv_workbench
