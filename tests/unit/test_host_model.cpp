// The host model carries out every command a component sends: what each verb
// does to the host's state, what it answers, and what the hosts built on it
// (the scenario host and its reply rules) make of that.
#include <algorithm>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "command_catalogue.h"
#include "host_model.h"
#include "linked_component.h"
#include "runner.h"
#include "scenario.h"
#include "test_folder.h"

namespace zorv_host {
namespace {

const char layoutText[] = "zorv_ui 1\n"
                          "panel size=200,100\n"
                          "control Ident label text=\"DEST\" place=4,4 size=100,40 prop.statesheet=default\n"
                          "control Monitor button text=\"Monitor\" place=4,50 size=100,30 event=\"monitor=1\"\n"
                          "control alm_a alarm text=\"A\" place=110,4 size=40,40\n";

// A layout file in the test's folder, written once.
std::string layoutFile()
{
    static const std::string path = [] {
        std::string file = zorv_test::inProcessFolder("mymon.zorv_ui");
        std::ofstream(file) << layoutText;
        return file;
    }();
    return path;
}

TEST(HostModel, EveryCatalogueVerbHasAnAction)
{
    for (const CommandVerb& verb : commandVerbs())
        EXPECT_TRUE(HostModel::hasAction(verb.verb)) << verb.verb;
}

// One component's commands, in order, each with what the host answers and
// the effect it has.
TEST(HostModel, CarriesOutEachVerb)
{
    HostPanel panel;
    panel.instances["DEST1"] = "12 34";
    panel.devices.push_back(RouterDevice{12, "Main", {"CAM 1", "CAM 2"}, {"MON 1"}});
    HostModel model(panel, HostModelOptions{true, 10, [] { return 100.0; }});
    const std::string ps = "PS '1' '" + layoutFile() + "'";
    struct Case {
        std::string line;
        std::optional<std::string> answer;
        EffectKind effect;
        std::string text;
    };
    const Case cases[] = {
        {"TP 'statesheet=x' '1' 'Ident'", std::nullopt, EffectKind::propertyRefused, "TP for panel '1', which has no layout"},
        {ps, std::string(hostToken), EffectKind::panelShown, ""},
        {"TG '1' 'Ident' 'statesheet'", std::string("statesheet=default"), EffectKind::queried, ""},
        {"TP 'statesheet=sel_on' '1' 'Ident'", std::nullopt, EffectKind::propertySet, "statesheet=sel_on"},
        {"TG '1' 'Ident' 'statesheet'", std::string("statesheet=sel_on"), EffectKind::queried, ""},
        {"TP 'value=1' '1' 'Nope'", std::nullopt, EffectKind::propertyRefused,
         "TP for control 'Nope', which the layout does not have"},
        {"TG '2' 'Ident' 'statesheet'", std::nullopt, EffectKind::queried, ""},
        {"XI '1' 'alm_'", std::string("alm_a"), EffectKind::queried, ""},
        {"SD 'DEST1'", std::string("12 34"), EffectKind::queried, ""},
        {"SD 'OTHER'", std::nullopt, EffectKind::queried, ""},
        {"RC 12 2 1 ',' 1", std::nullopt, EffectKind::routed, "device 12: destination 1 (MON 1) \u2190 source 2 (CAM 2)"},
        {"RC 13 2 1 ',' 1", std::nullopt, EffectKind::routeRefused, "no route made: the router has no device 13"},
        {"ET 1 250", std::nullopt, EffectKind::timerStarted, "timer 1 runs every 250 ms"},
        {"ET 2 1", std::nullopt, EffectKind::timerStarted, "timer 2 runs every 10 ms"},
        {"ET 1", std::nullopt, EffectKind::timerStopped, "timer 1 stopped"},
        // Numbers the line's shape allows but an int does not hold.
        {"ET 1 99999999999", std::nullopt, EffectKind::notCarriedOut, "no timer set: a number of \"ET\" is out of range"},
        {"ET 99999999999", std::nullopt, EffectKind::notCarriedOut, "no timer set: a number of \"ET\" is out of range"},
        {"HN 'activate=34'", std::nullopt, EffectKind::notified, "activate=34"},
        {"QQ 'x'", std::nullopt, EffectKind::notCarriedOut, "not a command line the host can carry out: QQ 'x'"},
        {"AS", std::nullopt, EffectKind::detached, "detached from the host"},
        {"TP 'statesheet=late' '1' 'Ident'", std::nullopt, EffectKind::afterDetach,
         "not carried out: the component sent it after \"AS\""},
    };
    for (const Case& c : cases) {
        HostAction action = model.carryOut(c.line);
        EXPECT_EQ(action.answer, c.answer) << c.line;
        EXPECT_EQ(action.effect.kind, c.effect) << c.line;
        EXPECT_EQ(action.effect.text, c.text) << c.line;
    }
    EXPECT_TRUE(model.detached());
    EXPECT_EQ(model.timers().size(), 1u);
    EXPECT_DOUBLE_EQ(model.timers().at(2).due, 100.01);
    EXPECT_EQ(panel.crosspoints.at(12).at(1), 2);
    ASSERT_TRUE(panel.latest);
    EXPECT_EQ(panel.latest->seq, 1u);
    // The property set after "AS" was not carried out.
    EXPECT_EQ(model.shown("1")->store.get("Ident", "statesheet"), std::string("statesheet=sel_on"));
    model.reset();
    EXPECT_FALSE(model.detached());
    EXPECT_EQ(model.shown("1"), nullptr);
    EXPECT_EQ(panel.routes, 1u);   // the panel's router outlives a component
}

// A layout that cannot be read: a host that must show it refuses "PS"; the
// scenario host answers its token and shows no layout.
TEST(HostModel, UnreadableLayoutRefusedOnlyWhereItMustBeShown)
{
    const std::string ps = "PS '1' '" + zorv_test::inProcessFolder("missing.zorv_ui") + "'";
    for (bool refuse : {true, false}) {
        HostPanel panel;
        HostModel model(panel, HostModelOptions{refuse, 0, nullptr});
        HostAction action = model.carryOut(ps);
        EXPECT_EQ(action.effect.kind, EffectKind::panelNotShown);
        EXPECT_EQ(action.answer.has_value(), !refuse);
        EXPECT_EQ(action.effect.text.rfind(refuse ? "PS answered null: " : "no layout shown: ", 0), 0u)
            << action.effect.text;
        ASSERT_NE(model.shown("1"), nullptr);
        EXPECT_FALSE(model.shown("1")->layout);
    }
}

// Without devices (the scenario host) the router takes any device number.
TEST(HostModel, RouterWithoutDevicesTakesAnyDevice)
{
    HostPanel panel;
    HostModel model(panel);
    EXPECT_EQ(model.carryOut("RC 7 3 4 ',' 1").effect.kind, EffectKind::routed);
    EXPECT_EQ(model.carryOut("RC x 3 4 ',' 1").effect.kind, EffectKind::notCarriedOut);
    EXPECT_EQ(panel.crosspoints.at(7).at(4), 3);
}

std::vector<std::string> played(const std::string& text, const HostPanel* panel = nullptr)
{
    std::istringstream in(text);
    std::string error;
    std::optional<Scenario> scenario = parseScenario(in, "test.scn", error);
    EXPECT_TRUE(scenario) << error;
    std::ostringstream out;
    runScenario(*scenario, linkedComponentFactory, false, out, false, panel);
    std::vector<std::string> lines;
    std::istringstream transcript(out.str());
    for (std::string line; std::getline(transcript, line);)
        lines.push_back(line);
    return lines;
}

bool has(const std::vector<std::string>& lines, const std::string& wanted)
{
    return std::find(lines.begin(), lines.end(), wanted) != std::end(lines);
}

// Where the component showed a layout, a press on a control the layout
// lacks is noted and not delivered; panels without a layout take any press.
TEST(ScenarioHost, PressOnControlTheShownLayoutLacksIsNoted)
{
    const std::string folder = zorv_test::processFolder();
    layoutFile();
    std::vector<std::string> lines = played("create " + quoteText(folder) + "\n"
                                            "parent instance=DEST1\n"
                                            "button 1 Akc ack=1\n"
                                            "button 1 Monitor\n"
                                            "button 2 Akc\n");
    const std::string note = "! no control \"Akc\" on panel \"1\": the layout \"" + layoutFile()
                             + "\" does not have it, so the press was not delivered";
    EXPECT_TRUE(has(lines, note)) << ::testing::PrintToString(lines);
    EXPECT_TRUE(has(lines, "> HN 'activate=0'")) << ::testing::PrintToString(lines);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l[0] == '!'; }), 1);
}

// A host that refuses "PS" (a rule answers null) shows no layout: a press on
// any control then reaches the component, as on a panel without one.
TEST(ScenarioHost, ARefusedLayoutIsNotShown)
{
    const std::string folder = zorv_test::processFolder();
    layoutFile();
    std::vector<std::string> lines = played("host PS * -> null\n"
                                            "create " + quoteText(folder) + "\n"
                                            "parent instance=DEST1\n"
                                            "button 1 Akc ack=1\n");
    EXPECT_FALSE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) { return l[0] == '!'; }))
        << ::testing::PrintToString(lines);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("> PS", 0) == 0; }))
        << ::testing::PrintToString(lines);
}

// Host rules come before the model's answers; without one, a panel's
// instance table answers "SD".
TEST(ScenarioHost, PanelInstancesAnswerUnlessARuleDoes)
{
    HostPanel panel;
    panel.instances["DEST1"] = "12 34";
    const std::string take = "parent activedest=34\nparent source=5\n";
    std::vector<std::string> fromPanel = played("create\nparent instance=DEST1\n" + take, &panel);
    EXPECT_TRUE(has(fromPanel, "> RC 12 5 34 ',' 1")) << ::testing::PrintToString(fromPanel);
    std::vector<std::string> fromRule = played("host SD * -> \"3 34\"\ncreate\nparent instance=DEST1\n" + take, &panel);
    EXPECT_TRUE(has(fromRule, "> RC 3 5 34 ',' 1")) << ::testing::PrintToString(fromRule);
    std::vector<std::string> without = played("create\nparent instance=DEST1\n" + take);
    EXPECT_FALSE(std::any_of(without.begin(), without.end(), [](const std::string& l) { return l.rfind("> RC", 0) == 0; }));
}

} // namespace
} // namespace zorv_host
