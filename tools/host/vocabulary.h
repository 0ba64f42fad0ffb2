// A component's own vocabulary: the parent words it declares ("_commands"),
// the notifications it may raise ("_events"), the controls of the layouts it
// shows, the controls named on the command line, and every event of the
// author's scenarios. validate's checks and soak send all of it besides
// their fixed probes, so a component's own buttons and words get pressed.
#ifndef ZORV_HOST_VOCABULARY_H
#define ZORV_HOST_VOCABULARY_H

#include <optional>
#include <string>
#include <vector>

#include "scenario.h"
#include "session.h"
#include "sim_host.h"

namespace zorv_host {

// A control to press: panel, control id, the button event text, and where
// it was found (shown with the event, e.g. "from the layout x.zorv_ui").
struct PanelControl {
    std::string panel, control, eventText, origin;
};

// What the user gives on the command line: --controls and --scenario.
struct VocabularySources {
    std::vector<std::string> controls;    // "PANEL:ID[,PANEL:ID...]" each
    std::vector<std::string> scenarios;   // scenario files
};

struct Vocabulary {
    std::vector<std::string> words;          // parent words: the usual ones and the declared ones
    std::vector<std::string> declared;       // the "_commands" entries, as the component gave them
    std::optional<std::vector<std::string>> events;   // the "_events" entries; nullopt: null reply
    std::vector<std::string> messages;       // parent messages to send, each once
    std::vector<PanelControl> controls;      // controls to press, each once
    std::vector<int> timers;                 // timer numbers from scenarios
    std::vector<ReplyRule> hostRules;        // host reply rules from scenarios
    std::vector<std::string> layouts;        // layout files read
    std::vector<std::string> unreadLayouts;  // why each shown layout that was not read is not, once each

    void addMessage(const std::string& message);
    void addControl(const PanelControl& control);
    void addTimer(int number);
};

// The values a declared word's "[value]" is filled with: numbers, 0, -1,
// empty, a text, and a text holding a quote.
const std::vector<std::string>& declaredWordValues();

// The parent messages one "_commands" entry stands for: with "[value]" (or
// another word in brackets, "[number]") the entry once per value, else the
// entry as it is. Empty for an empty entry.
std::vector<std::string> messagesOfEntry(const std::string& entry);

// Reads "PANEL:ID[,PANEL:ID...]" into controls; false with error set when a
// piece has no ':' or an empty panel or id.
bool parseControlList(const std::string& text, std::vector<PanelControl>& controls, std::string& error);

// Adds every parent message, button, timer number and host rule of a
// scenario.
void addScenario(Vocabulary& vocabulary, const Scenario& scenario);

// The vocabulary the user gives: the controls and the scenario files' events;
// false with error set when a control list or a scenario is bad.
bool loadVocabularySources(const VocabularySources& sources, Vocabulary& vocabulary, std::string& error);

// Asks the component for "_events", then "_commands", and adds what it names.
void askComponent(Vocabulary& vocabulary, Session& session);

// For each "PS" line among commands, reads the layout it names and adds its
// buttons. The path is tried as given, then under libraryFolder, then its
// file name under libraryFolder (the layouts ship beside the library). A
// layout found nowhere, or found but not read, is noted in unreadLayouts:
// its buttons are then never pressed.
void addShownLayouts(Vocabulary& vocabulary, const std::vector<std::string>& commands,
                     const std::string& libraryFolder);

// Whether a notification text matches one of the declared "_events"
// entries ('*' any run, "[value]" or another bracketed word any value).
bool isDeclaredEvent(const std::vector<std::string>& declared, const std::string& text);

} // namespace zorv_host

#endif
