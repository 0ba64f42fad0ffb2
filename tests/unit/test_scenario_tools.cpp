// What authors use around scenarios: rewriting expectations from a run,
// interactive mode, the JUnit report, and the outcome a scenario's child
// process hands its parent.
#include <gtest/gtest.h>

#include <sstream>

#include "junit.h"
#include "runner.h"
#include "scenario.h"
#include "scenario_files.h"
#include "linked_component.h"

using namespace zorv_host;

namespace {

Scenario parsed(const std::string& text)
{
    std::istringstream in(text);
    std::string error;
    std::optional<Scenario> scenario = parseScenario(in, "s.scn", error);
    EXPECT_TRUE(scenario) << error;
    return scenario ? *scenario : Scenario{};
}

TEST(UpdateExpectations, ReplacesOnlyExpectedLinesAndKeepsTheRest)
{
    const std::string text = "# a comment\n"
                             "host SD 'D' -> \"1 2\"\n"
                             "create\n"
                             "> stale line\n"
                             "\n"
                             "parent instance=D\n"
                             "   > indented stale\n"
                             "< \"old\"\n"
                             "# between\n"
                             "timer 1\n"
                             "destroy\n";
    Scenario scenario = parsed(text);
    ASSERT_EQ(scenario.steps.size(), 5u);
    const std::vector<std::vector<std::string>> seen = {{}, {"> PS '1' 'mymon.zorv_ui'"}, {"> SD 'D'", "< null"}, {}, {"> AS"}};
    EXPECT_EQ(withExpectations(text, scenario, seen), "# a comment\n"
                                                      "host SD 'D' -> \"1 2\"\n"
                                                      "create\n"
                                                      "> PS '1' 'mymon.zorv_ui'\n"
                                                      "\n"
                                                      "parent instance=D\n"
                                                      "> SD 'D'\n"
                                                      "< null\n"
                                                      "# between\n"
                                                      "timer 1\n"
                                                      "destroy\n"
                                                      "> AS\n");
}

TEST(UpdateExpectations, AnUpdatedScenarioPassesAgainstTheSameComponent)
{
    const std::string text = "create \"/p\"\n> wrong\nparent instance=X\nbutton 1 Monitor\ndestroy\n";
    Scenario before = parsed(text);
    std::ostringstream out;
    RunResult first = runScenario(before, linkedComponentFactory, true, out);
    EXPECT_GT(first.mismatches, 0);
    std::string updated = withExpectations(text, before, first.seen);
    std::ostringstream again;
    RunResult second = runScenario(parsed(updated), linkedComponentFactory, true, again);
    EXPECT_EQ(second.mismatches, 0) << updated << again.str();
    EXPECT_EQ(second.notes, 0);
}

TEST(CheckOutput, DifferencesCarryALegendAndColourOnlyWhenAsked)
{
    Scenario scenario = parsed("create\n> PS 'wrong'\ndestroy\n> AS\n");
    std::ostringstream plain, coloured;
    runScenario(scenario, linkedComponentFactory, true, plain, false);
    runScenario(scenario, linkedComponentFactory, true, coloured, true);
    EXPECT_EQ(plain.str().rfind("(- expected, + seen)\n", 0), 0u) << plain.str();
    EXPECT_NE(plain.str().find("  - > PS 'wrong'\n"), std::string::npos) << plain.str();
    EXPECT_EQ(plain.str().find('\033'), std::string::npos);
    EXPECT_NE(coloured.str().find("\033[31m  - > PS 'wrong'\033[0m"), std::string::npos) << coloured.str();
}

TEST(Interactive, HelpTypoHintsAndQuit)
{
    std::istringstream in("help\nparnet x=1\nparent instance=D\nquit\nparent never=sent\n");
    std::ostringstream out;
    int status = runInteractive(streamLines(in, out, ""), out, linkedComponentFactory, "/p", true);
    const std::string text = out.str();
    EXPECT_NE(text.find(interactiveHelp), std::string::npos);
    EXPECT_NE(text.find("? line 2: unknown keyword \"parnet\" (did you mean \"parent\"?)"), std::string::npos) << text;
    EXPECT_NE(text.find("parent instance=D\n> SD 'D'\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("never=sent"), std::string::npos) << "lines after quit were played";
    EXPECT_NE(text.find("destroy\n> AS\n"), std::string::npos) << text;
    EXPECT_EQ(status, 0);
}

// Every event line stands above the commands it caused; a typed create
// while a component lives destroys it first ("AS"), under that same line.
TEST(Interactive, PipedTranscriptShowsEachEventAboveItsCommands)
{
    std::istringstream in("create\ndestroy\ncreate \"/q\"\n");
    std::ostringstream out;
    runInteractive(streamLines(in, out, ""), out, linkedComponentFactory, "/p", true);
    EXPECT_EQ(out.str(), "create \"/p\"\n> PS '1' '/p/mymon.zorv_ui'\n"
                         "create\n> AS\n> PS '1' 'mymon.zorv_ui'\n"
                         "destroy\n> AS\n"
                         "create \"/q\"\n> PS '1' '/q/mymon.zorv_ui'\n"
                         "destroy\n> AS\n");
}

// On a terminal the typed line is already on the screen: only the create
// and destroy that interactive plays by itself are written.
TEST(Interactive, TerminalTranscriptRepeatsNoTypedLine)
{
    std::istringstream in("create\n");
    std::ostringstream out;
    runInteractive(streamLines(in, out, ""), out, linkedComponentFactory, "", false);
    EXPECT_EQ(out.str(), "create\n> PS '1' 'mymon.zorv_ui'\n"
                         "> AS\n> PS '1' 'mymon.zorv_ui'\n"
                         "destroy\n> AS\n");
}

TEST(Junit, CountsOutcomesAndKeepsTheFileWellFormed)
{
    std::vector<JunitCase> cases(4);
    cases[0] = {"a.pass", "a", JunitCase::Outcome::pass, "", "", 0.5};
    cases[1] = {"b.fail", "b", JunitCase::Outcome::fail, "wrote into <text> & \"more\"", "line\x01two\xff", 0.25};
    cases[2] = {"c.warn", "c", JunitCase::Outcome::warn, "odd but allowed", "", 0};
    cases[3] = {"d.skip", "d", JunitCase::Outcome::skip, "no component\n\tat all", "", 0};
    std::ostringstream out;
    writeJunit(out, "suite", cases);
    const std::string xml = out.str();
    EXPECT_NE(xml.find("tests=\"4\" failures=\"1\" errors=\"0\" skipped=\"1\" time=\"0.750\""), std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<failure message=\"wrote into &lt;text&gt; &amp; &quot;more&quot;\">line\\x01two\\xff</failure>"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<system-out>WARN: odd but allowed"), std::string::npos);
    // A message's line ends survive a reader's attribute normalisation.
    EXPECT_NE(xml.find("<skipped message=\"no component&#10;&#9;at all\"/>"), std::string::npos) << xml;
    EXPECT_EQ(xml.find('\x01'), std::string::npos);
}

TEST(ScenarioOutcomeRecords, ReadBackAsWritten)
{
    const ScenarioOutcomeRecord records[] = {{0, 0, false, 0}, {3, 1, true, 0.25}, {999999999, 7, false, 12345.5},
                                             {0, 2, false, 1e-05}};
    for (const ScenarioOutcomeRecord& record : records) {
        const std::string line = scenarioOutcomeLine(record);
        std::optional<ScenarioOutcomeRecord> read = readScenarioOutcome(line);
        ASSERT_TRUE(read) << line;
        EXPECT_EQ(read->mismatches, record.mismatches) << line;
        EXPECT_EQ(read->notes, record.notes) << line;
        EXPECT_EQ(read->updated, record.updated) << line;
        EXPECT_DOUBLE_EQ(read->seconds, record.seconds) << line;
    }
    EXPECT_EQ(scenarioOutcomeLine({2, 1, true, 0.5}), "outcome 2 1 1 0.5");
}

TEST(ScenarioOutcomeRecords, AnythingButAWholeRecordIsNone)
{
    for (const char* line : {"", "outcome", "outcome 0 0 0", "outcome 0 0 0 0 0", "outcome 0 0 2 0", "outcome -1 0 0 0",
                             "outcome +1 0 0 0", "outcome 0 x 0 0", "outcome 0 0 0 x", "outcome 0 0 0 -1",
                             "outcome 0 0 0 nan", "outcome 0 0 0 inf", "outcome 0 0 0 1.5s", "outcome 0 0 0 ",
                             "outcome  0 0 0 0", "outcome 0 0 0 0 ", "outcome 1234567890 0 0 0",
                             "SCENARIO-OUTCOME 0 0 0 0", "outcomes 0 0 0 0", " outcome 0 0 0 0"})
        EXPECT_FALSE(readScenarioOutcome(line)) << line;
}

} // namespace
