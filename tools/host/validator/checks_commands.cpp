// Checks of the command lines a component sends: their shapes and its
// notifications.
#include "validator/check_kit.h"

#include "command_catalogue.h"

#include "layout.h"

namespace zorv_host::validation {

namespace {

void checkCommandShapes(const Context& c)
{
    Rig rig(c.factory, true, "C:/panels");
    drive(rig.session, discover(c, rig.session, rig.host));
    destroy(rig.session);
    for (const RuleBreak& broken : rig.host.takeRuleBreaks())
        if (broken.kind == RuleBreakKind::unknownVerb || broken.kind == RuleBreakKind::malformedCommand)
            fail(broken);
    // Well-shaped but ambiguous lines break no rule: a WARN naming the first.
    std::vector<SimHost::Warning> warnings = rig.host.takeWarnings();
    if (!warnings.empty())
        throw CheckWarned{warnings.front().text + " (during " + warnings.front().event + ")"
                              + (warnings.size() > 1 ? " (+" + std::to_string(warnings.size() - 1) + " more)" : ""),
                          ResultKind::ambiguousLine};
}

// The notifications ("HN") the component sends must be among those it
// declares in its "_events" reply; a WARN names the first that is not.
void checkNotifications(const Context& c)
{
    Rig rig(c.factory, false, "C:/panels");
    Vocabulary vocabulary = discover(c, rig.session, rig.host);
    if (!vocabulary.events)
        throw CheckSkipped{"the component declares no notifications (\"_events\" answers null)"};
    rig.host.takeCommands();
    std::string finding;
    drive(rig.session, vocabulary, [&](const std::string& event) {
        for (const std::string& line : rig.host.takeCommands()) {
            std::string verb;
            std::vector<std::string> fields;
            const CommandVerb* entry = findCommandVerb(line);
            if (!finding.empty() || !entry || entry->part != HostPart::parent || !splitCommand(line, verb, fields)
                || fields.size() != 1)
                continue;
            if (isDeclaredEvent(*vocabulary.events, fields[0]))
                continue;
            std::string declared;
            for (const std::string& entry : *vocabulary.events)
                declared += (declared.empty() ? "" : ", ") + entry;
            finding = "\"" + escapeText(line) + "\" is not among the notifications declared in \"_events\" ("
                      + declared + "), during " + event;
        }
    });
    destroy(rig.session);
    requireNoNotes(rig.host, "the notifications");
    if (!finding.empty())
        throw CheckWarned{finding, ResultKind::undeclaredEvent};
}

} // namespace

void addCommandChecks(CheckRegistry& registry)
{
    registry.add({"commands.shape",
                  "every command line is a known verb with the arguments shaped as the channel forms them "
                  "(a quote inside a text argument: WARN)",
                  checkCommandShapes});
    // Its own finding is a WARN at every strictness (a crash or a rule
    // broken on the way still fails it).
    registry.add({"commands.notifications",
                  "every notification is among those declared in \"_events\"",
                  checkNotifications, 0});
}

} // namespace zorv_host::validation
