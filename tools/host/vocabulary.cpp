#include "paths.h"
#include "vocabulary.h"

#include "command_catalogue.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>

#include "layout.h"

namespace zorv_host {

namespace {

// Where a value goes in an entry: "[value]", or any other lower-case word
// in brackets ("[number]", "[text]"). npos when there is none from "from".
std::size_t findMarker(const std::string& entry, std::size_t from, std::size_t& length)
{
    for (std::size_t open = entry.find('[', from); open != std::string::npos; open = entry.find('[', open + 1)) {
        std::size_t close = open + 1;
        while (close < entry.size() && ((entry[close] >= 'a' && entry[close] <= 'z') || entry[close] == '_'))
            ++close;
        if (close < entry.size() && entry[close] == ']' && close > open + 1) {
            length = close + 1 - open;
            return open;
        }
    }
    return std::string::npos;
}

// The entry with every marker replaced by value.
std::string filled(std::string entry, const std::string& value)
{
    std::size_t length = 0;
    for (std::size_t at = findMarker(entry, 0, length); at != std::string::npos;
         at = findMarker(entry, at + value.size(), length))
        entry.replace(at, length, value);
    return entry;
}

// The entries of a reply joined by line feeds (a trailing carriage return
// and blank entries dropped).
std::vector<std::string> entriesOf(const std::string& reply)
{
    std::vector<std::string> entries;
    std::istringstream lines(reply);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            entries.push_back(line);
    }
    return entries;
}

bool isAbsolute(const std::string& path)
{
    return (!path.empty() && (path[0] == '/' || path[0] == '\\'))
           || (path.size() > 2 && path[1] == ':' && (path[2] == '/' || path[2] == '\\'));
}

bool readable(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return static_cast<bool>(in);
}

} // namespace

void Vocabulary::addMessage(const std::string& message)
{
    if (std::find(messages.begin(), messages.end(), message) == messages.end())
        messages.push_back(message);
}

void Vocabulary::addControl(const PanelControl& control)
{
    for (const PanelControl& known : controls)
        if (known.panel == control.panel && known.control == control.control && known.eventText == control.eventText)
            return;
    controls.push_back(control);
}

void Vocabulary::addTimer(int number)
{
    if (std::find(timers.begin(), timers.end(), number) == timers.end())
        timers.push_back(number);
}

const std::vector<std::string>& declaredWordValues()
{
    static const std::vector<std::string> values = {"1", "42", "0", "-1", "", "text", "it's"};
    return values;
}

std::vector<std::string> messagesOfEntry(const std::string& entry)
{
    std::size_t length = 0;
    if (entry.empty())
        return {};
    if (findMarker(entry, 0, length) == std::string::npos)
        return {entry};
    std::vector<std::string> messages;
    for (const std::string& value : declaredWordValues())
        messages.push_back(filled(entry, value));
    return messages;
}

bool parseControlList(const std::string& text, std::vector<PanelControl>& controls, std::string& error)
{
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string piece = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::size_t colon = piece.find(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == piece.size()) {
            error = "\"" + piece + "\" is not PANEL:ID (in --controls \"" + text + "\")";
            return false;
        }
        controls.push_back(PanelControl{piece.substr(0, colon), piece.substr(colon + 1), "", "from --controls"});
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return true;
}

void addScenario(Vocabulary& vocabulary, const Scenario& scenario)
{
    for (const Step& step : scenario.steps) {
        const std::string origin = "from " + scenario.name + ":" + std::to_string(step.line);
        switch (step.action) {
        case Action::Parent:
            if (step.text)
                vocabulary.addMessage(*step.text);
            break;
        case Action::Button:
            vocabulary.addControl(PanelControl{step.panel, step.control, step.eventText, origin});
            break;
        case Action::Timer:
            if (step.number >= INT32_MIN && step.number <= INT32_MAX)
                vocabulary.addTimer(static_cast<int>(step.number));
            break;
        case Action::HostRule:
            vocabulary.hostRules.push_back(ReplyRule{step.pattern, step.text});
            break;
        default:
            break;
        }
    }
}

bool loadVocabularySources(const VocabularySources& sources, Vocabulary& vocabulary, std::string& error)
{
    for (const std::string& list : sources.controls) {
        std::vector<PanelControl> controls;
        if (!parseControlList(list, controls, error))
            return false;
        for (const PanelControl& control : controls)
            vocabulary.addControl(control);
    }
    for (const std::string& file : sources.scenarios) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            error = file + ": cannot be read";
            return false;
        }
        std::optional<Scenario> scenario = parseScenario(in, file, error);
        if (!scenario)
            return false;
        addScenario(vocabulary, *scenario);
    }
    return true;
}

void askComponent(Vocabulary& vocabulary, Session& session)
{
    const std::vector<std::string> usual = {"return",     "source",       "activedest", "instance",
                                            "selectedbg", "deselectedbg", "_events",    "_commands", "unknown"};
    for (const std::string& word : usual)
        if (std::find(vocabulary.words.begin(), vocabulary.words.end(), word) == vocabulary.words.end())
            vocabulary.words.push_back(word);
    setCurrentEvent("parent \"_events\"");
    if (std::optional<std::string> events = session.parentMessage(std::string("_events")))
        vocabulary.events = entriesOf(*events);
    else
        vocabulary.events.reset();
    setCurrentEvent("parent \"_commands\"");
    if (std::optional<std::string> listed = session.parentMessage(std::string("_commands"))) {
        for (const std::string& entry : entriesOf(*listed)) {
            vocabulary.declared.push_back(entry);
            std::string word = entry.substr(0, entry.find('='));
            if (!word.empty() && std::find(vocabulary.words.begin(), vocabulary.words.end(), word)
                                     == vocabulary.words.end())
                vocabulary.words.push_back(word);
            for (const std::string& message : messagesOfEntry(entry))
                vocabulary.addMessage(message);
        }
    }
}

void addShownLayouts(Vocabulary& vocabulary, const std::vector<std::string>& commands,
                     const std::string& libraryFolder)
{
    for (const std::string& line : commands) {
        std::string verb;
        std::vector<std::string> fields;
        const CommandVerb* entry = findCommandVerb(line);
        if (!entry || entry->part != HostPart::panels || !splitCommand(line, verb, fields) || fields.size() < 2)
            continue;
        const std::string& panel = fields[0];
        const std::string& path = fields[1];
        std::vector<std::string> candidates;
        if (isAbsolute(path))
            candidates.push_back(path);
        else
            candidates.push_back(libraryFolder + "/" + path);
        if (candidates.front() != libraryFolder + "/" + fileNameOf(path))
            candidates.push_back(libraryFolder + "/" + fileNameOf(path));
        std::string why = "is not there (looked for " + candidates.front()
                          + (candidates.size() > 1 ? " and " + candidates.back() : "") + ")";
        bool read = false;
        for (const std::string& candidate : candidates) {
            if (!readable(candidate))
                continue;
            std::string error;
            std::optional<Layout> layout = loadLayoutFile(candidate, error);
            if (!layout) {
                why = "cannot be read: " + error;
                break;
            }
            read = true;
            if (std::find(vocabulary.layouts.begin(), vocabulary.layouts.end(), candidate) == vocabulary.layouts.end())
                vocabulary.layouts.push_back(candidate);
            for (const LayoutControl& control : layout->controls)
                if (control.kind == ControlKind::Button)
                    vocabulary.addControl(
                        PanelControl{panel, control.id, control.event, "from the layout " + fileNameOf(candidate)});
            break;
        }
        const std::string unread = "the layout " + quoteText(path) + " shown on panel " + panel + " " + why;
        if (!read && std::find(vocabulary.unreadLayouts.begin(), vocabulary.unreadLayouts.end(), unread)
                         == vocabulary.unreadLayouts.end())
            vocabulary.unreadLayouts.push_back(unread);
    }
}

bool isDeclaredEvent(const std::vector<std::string>& declared, const std::string& text)
{
    for (const std::string& entry : declared) {
        if (globMatch(filled(entry, "*"), text))
            return true;
    }
    return false;
}

} // namespace zorv_host
