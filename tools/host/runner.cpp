#include "runner.h"

#include <algorithm>

namespace zorv_host {

// Command lines are shown as sent, with control bytes, non-ASCII bytes,
// backslashes and trailing blanks escaped so each stays one visible line.
std::string showCommand(const std::string& line)
{
    std::string shown;
    for (unsigned char c : line)
        shown += (c == '"') ? std::string("\"") : escapeText(std::string(1, static_cast<char>(c)));
    std::size_t end = shown.size();
    std::string tail;
    while (end > 0 && shown[end - 1] == ' ') {
        --end;
        tail += "\\x20";
    }
    return "> " + shown.substr(0, end) + tail;
}

namespace {

void collectHostOutput(SimHost& host, std::vector<std::string>& lines)
{
    for (const std::string& command : host.takeCommands())
        lines.push_back(showCommand(command));
    for (const std::string& note : host.takeNotes())
        lines.push_back("! " + note);
    for (const SimHost::Warning& warning : host.takeWarnings())
        lines.push_back("! " + warning.text);
}

// Why a press is not delivered: the host shows a layout in that panel and
// the layout has no such control, so no operator could press it. "" when it
// is delivered (a panel with no layout shown gets any press).
std::string refusedPress(const HostModel& model, const Step& step)
{
    const ShownPanel* shown = model.shown(step.panel);
    if (!shown || !shown->layout || shown->layout->find(step.control))
        return "";
    return "no control " + quoteText(step.control) + " on panel " + quoteText(step.panel) + ": the layout "
           + quoteText(shown->path) + " does not have it, so the press was not delivered";
}

std::string describe(const Step& step, const std::string& scenarioName)
{
    return scenarioName + ":" + std::to_string(step.line) + ": " + step.source;
}

// A line diff by longest common subsequence: " " both, "-" expected only,
// "+" actual only. Event outputs are a handful of lines, so O(n*m) is fine.
void printDifference(std::ostream& out, const std::string& where, const std::vector<std::string>& expected,
                     const std::vector<std::string>& actual, bool colour)
{
    const char* red = colour ? "\033[31m" : "";
    const char* green = colour ? "\033[32m" : "";
    const char* plain = colour ? "\033[0m" : "";
    out << where << "\n";
    const std::size_t n = expected.size(), m = actual.size();
    std::vector<std::vector<std::size_t>> common(n + 1, std::vector<std::size_t>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            common[i][j] = expected[i] == actual[j] ? common[i + 1][j + 1] + 1
                                                    : std::max(common[i + 1][j], common[i][j + 1]);
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && expected[i] == actual[j]) {
            out << "    " << expected[i++] << "\n";
            ++j;
        } else if (i < n && (j == m || common[i + 1][j] >= common[i][j + 1])) {
            out << red << "  - " << expected[i++] << plain << "\n";
        } else {
            out << green << "  + " << actual[j++] << plain << "\n";
        }
    }
}

} // namespace

std::vector<std::string> runStep(const Step& step, Session& session, SimHost& host)
{
    std::vector<std::string> lines;
    bool needsComponent = step.action == Action::Parent || step.action == Action::Button
                          || step.action == Action::Timer || step.action == Action::Event;
    if (needsComponent && !session.alive()) {
        lines.push_back("! no component: the event was not delivered");
        return lines;
    }
    switch (step.action) {
    case Action::HostRule:
        host.addRule(step.pattern, step.text);
        break;
    case Action::HostReset:
        host.clearRules();
        break;
    case Action::Create:
        if (!session.create(step.text, step.withHost))
            lines.push_back(std::string("! ") + noComponentNote);
        break;
    case Action::Parent: {
        std::optional<std::string> reply = session.parentMessage(step.text);
        collectHostOutput(host, lines);
        lines.push_back(reply ? "< " + quoteText(*reply) : "< null");
        return lines;
    }
    case Action::Button: {
        const std::string refused = refusedPress(host.model(), step);
        if (!refused.empty())
            lines.push_back("! " + refused);
        else
            session.button(step.panel, step.control, step.eventText);
        break;
    }
    case Action::Timer:
        session.timer(static_cast<int>(step.number));
        break;
    case Action::Event: {
        const char* result = session.rawEvent(static_cast<int>(step.number),
                                              reinterpret_cast<void*>(static_cast<intptr_t>(step.data)));
        collectHostOutput(host, lines);
        if (result)
            lines.push_back("! code " + std::to_string(step.number) + " answered non-null "
                            + quoteText(result));
        return lines;
    }
    case Action::Destroy:
        session.destroy();
        break;
    }
    collectHostOutput(host, lines);
    return lines;
}

RunResult runScenario(const Scenario& scenario, component_factory factory, bool check, std::ostream& out,
                      bool colour, const HostPanel* panel)
{
    SimHost host;
    if (panel)
        host.panel() = *panel;
    Session session(factory, host);
    RunResult result;
    auto account = [&](const std::vector<std::string>& actual, const std::vector<std::string>& expected,
                       const std::string& where, bool compare) {
        bool differs = compare && actual != expected;
        if (differs) {
            if (result.mismatches++ == 0)
                out << "(- expected, + seen)\n";
            printDifference(out, where, expected, actual, colour);
        }
        for (const std::string& line : actual)
            if (line[0] == '!' && std::find(expected.begin(), expected.end(), line) == expected.end()) {
                ++result.notes;
                if (check && !differs)
                    out << where << "\n  " << line << "\n";
            }
    };
    for (const Step& step : scenario.steps) {
        setCurrentEvent(describe(step, scenario.name));
        if (!check)
            out << step.source << std::endl;   // shown before a crash can cut the transcript
        std::vector<std::string> lines = runStep(step, session, host);
        if (!check)
            for (const std::string& line : lines)
                out << line << "\n";
        account(lines, step.expected, describe(step, scenario.name), check);
        result.seen.push_back(std::move(lines));
    }
    if (session.alive()) {
        // A scenario that leaves its component alive still sees it destroyed;
        // only rule breaks count there.
        setCurrentEvent(scenario.name + ": destroy at the end of the scenario");
        session.destroy();
        std::vector<std::string> lines;
        collectHostOutput(host, lines);
        if (!check) {
            out << "# end of scenario: destroy\n";
            for (const std::string& line : lines)
                out << line << "\n";
        }
        account(lines, {}, scenario.name + ": destroy at the end", false);
    }
    return result;
}

const char interactiveHelp[] =
    "Type one event a line; each prints what the component did (> command, < reply, ! rule break).\n"
    "  parent TEXT|null               a parent message, e.g. parent instance=DEST1\n"
    "  button PANEL CONTROL [TEXT]    a button event, e.g. button 1 Monitor\n"
    "  timer N                        timer N expired\n"
    "  event CODE [DATA]              any event code with an integer data word\n"
    "  host PATTERN -> \"REPLY\"|null  how the host answers commands matching PATTERN ('*' any run)\n"
    "  host reset                     drop all host answers\n"
    "  create [PATH|null] [nohost]    make the component again (after destroy)\n"
    "  destroy                        destroy the component\n"
    "  help                           this text\n"
    "  quit                           destroy the component and leave (also end of input)\n"
    "Texts with blanks are quoted: parent \"label=two words\".\n";

int runInteractive(const LineSource& next, std::ostream& out, component_factory factory, const std::string& basePath,
                   bool echo, const HostPanel* panel)
{
    SimHost host;
    if (panel)
        host.panel() = *panel;
    Session session(factory, host);
    Step create;
    create.action = Action::Create;
    create.text = basePath;
    create.source = basePath.empty() ? "create" : "create " + quoteText(basePath);   // as a scenario writes it
    int problems = 0;
    // The event line goes above its commands: always for the create and
    // destroy played here, and for a typed line when the input is piped
    // (a terminal has shown it already).
    auto play = [&](const Step& step, bool show) {
        setCurrentEvent("interactive: " + step.source);
        if (show)
            out << step.source << "\n";
        for (const std::string& line : runStep(step, session, host)) {
            out << line << "\n";
            problems += line[0] == '!' ? 1 : 0;
        }
    };
    play(create, true);
    std::string line;
    int lineNumber = 0;
    while (next(line)) {
        ++lineNumber;
        std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const std::string word = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
        if (word == "quit")
            break;
        if (word == "help" || word == "?") {
            out << interactiveHelp;
            continue;
        }
        std::string error;
        std::optional<Step> step = parseStep(line, lineNumber, error);
        if (!step) {
            out << "? line " << lineNumber << ": " << error << " (help lists the events)\n";
            continue;
        }
        play(*step, echo);
    }
    if (session.alive()) {
        Step destroy;
        destroy.action = Action::Destroy;
        destroy.source = "destroy";
        play(destroy, true);
    }
    return problems == 0 ? 0 : 1;
}

} // namespace zorv_host
