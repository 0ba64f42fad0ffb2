// The workbench's parts: panel files, the bridge client against children
// that misbehave, recordings replayed by the checker, and the whole host
// with real bridge children of the destination component.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "bridge_client.h"
#include "component_abi.h"
#include "panel_file.h"
#include "recording.h"
#include "runner.h"
#include "scenario.h"
#include "test_folder.h"
#include "workbench.h"
#include "zorv_plugin_entry.h"

namespace {

using namespace zorv_workbench;
using nlohmann::json;

const PathRoots roots{"/opt/bin", "/opt/dist", "/opt/dist64"};

std::string minimalPanel(const std::string& extra = "")
{
    return R"({"zorv_panel": 1, )" + extra + R"( "placements": [{"name": "A", "library": "lib.so"}]})";
}

TEST(PanelFile, ReadsPlacementsRouterAndSheets)
{
    std::string text = R"({
      "zorv_panel": 1, "title": "T", "selectedbg": "on", "deselectedbg": "off",
      "state_sheets": {"on": {"background": "#0f0"}},
      "router": {"devices": [{"number": 12, "name": "R", "sources": ["S1", "S2"], "destinations": ["D1"]}]},
      "instances": {"D1": "12 1"},
      "placements": [
        {"name": "A", "library": "{bin}/Selvarin.so", "instance": "D1"},
        {"name": "B", "library": "mods/B.so", "dll": "{dist}/B.dll", "runner": "wine", "deselectedbg": "grey"}]})";
    std::string error;
    std::optional<PanelFile> panel = parsePanelFile(text, "/panels/p.zorv_panel", roots, error);
    ASSERT_TRUE(panel) << error;
    ASSERT_EQ(panel->placements.size(), 2u);
    const Placement& a = panel->placements[0];
    const Placement& b = panel->placements[1];
    EXPECT_EQ(a.library, "/opt/bin/Selvarin.so");
    EXPECT_EQ(a.runner, Runner::Native);
    EXPECT_EQ(a.selectedbg, "on");
    EXPECT_EQ(a.deselectedbg, "off");
    EXPECT_EQ(b.library, "/panels/mods/B.so");   // relative to the panel file
    EXPECT_EQ(b.dll, "/opt/dist/B.dll");
    EXPECT_EQ(b.runner, Runner::Wine);
    EXPECT_EQ(b.deselectedbg, "grey");           // the placement's own wins
    EXPECT_EQ(panel->parentDevice, 12);          // the first device by default
    EXPECT_EQ(panel->instances.at("D1"), "12 1");
    EXPECT_EQ(panel->stateSheets.at("on").background, "#0f0");
    EXPECT_EQ(panel->wineHost, "/opt/dist/zorv-host.exe");
}

TEST(PanelFile, WarnsAboutLikelySlips)
{
    std::string text = R"({"zorv_panel": 1, "state_sheets": {"on": {}}, "selectedbg": "onn",
      "instances": {"D1": "twelve one", "D2": "12 2"},
      "placements": [{"name": "A", "library": "a", "instance": "D3"}, {"name": "B", "library": "b", "instance": "D2"}]})";
    std::string error;
    std::optional<PanelFile> panel = parsePanelFile(text, "p", roots, error);
    ASSERT_TRUE(panel) << error;
    ASSERT_EQ(panel->warnings.size(), 4u);
    EXPECT_NE(panel->warnings[0].find("\"D1\" answers \"twelve one\""), std::string::npos) << panel->warnings[0];
    EXPECT_NE(panel->warnings[1].find("\"D3\" is not in \"instances\""), std::string::npos) << panel->warnings[1];
    EXPECT_NE(panel->warnings[2].find("\"onn\" is not in \"state_sheets\""), std::string::npos) << panel->warnings[2];
    EXPECT_NE(panel->warnings[3].find("placement \"B\""), std::string::npos) << panel->warnings[3];
    // Without any state sheets, every sheet named is one the page draws plain.
    panel = parsePanelFile(minimalPanel(R"("selectedbg": "on",)"), "p", roots, error);
    ASSERT_TRUE(panel) << error;
    ASSERT_EQ(panel->warnings.size(), 1u);
    EXPECT_NE(panel->warnings[0].find("\"on\" is not in \"state_sheets\""), std::string::npos) << panel->warnings[0];
}

TEST(PanelFile, RefusesWhatItCannotRun)
{
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"{", "not valid JSON"},
        {"[]", "one JSON object"},
        {R"({"zorv_panel": 2, "placements": []})", "format version 2 is not known"},
        {R"({"zorv_panel": "1", "placements": []})", "must be the format version, a number: 1"},
        {minimalPanel(R"("title": 5,)"), "\"title\" must be a text"},
        {R"({"zorv_panel": 1})", "\"placements\" is missing"},
        {R"({"zorv_panel": 1, "placements": []})", "1 to 256 placements"},
        {minimalPanel(R"("placement": 1,)"), "unknown key \"placement\""},
        {R"({"zorv_panel": 1, "placements": [{"name": "A", "library": "a"}, {"name": "A", "library": "b"}]})",
         "\"A\" is given twice"},
        {R"({"zorv_panel": 1, "placements": [{"name": "A"}]})", "\"library\" is missing"},
        {R"({"zorv_panel": 1, "placements": [{"name": "", "library": "a"}]})", "1 to 64 characters"},
        {R"({"zorv_panel": 1, "placements": [{"name": "A", "library": "a", "runner": "wine"}]})", "needs its \"dll\""},
        {R"({"zorv_panel": 1, "placements": [{"name": "A", "library": "a", "runner": "qemu"}]})", "\"native\" or \"wine\""},
        {R"({"zorv_panel": 1, "placements": [{"name": "A", "library": 5}]})", "must be a text"},
        {minimalPanel(R"("router": {"devices": [{"number": 0}]},)"), "from 1 to 999"},
        {minimalPanel(R"("router": {"devices": [{"number": 1}, {"number": 1}]},)"), "given twice"},
        {minimalPanel(R"("router": {"devices": [{"number": 1}], "parent_device": 2},)"), "not one of the devices"},
        {minimalPanel(R"("state_sheets": {"x": {"colour": "red"}},)"), "unknown key \"colour\""},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parsePanelFile(c.text, "p", roots, error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << "\n  gave: " << error;
        EXPECT_EQ(error.rfind("p: ", 0), 0u) << error;
    }
}

// ---- the bridge client against scripted children

std::vector<std::string> script(const std::string& body) { return {"/bin/sh", "-c", body}; }

struct Seen {
    std::vector<std::string> commands, queries, notes;
    std::vector<zorv_host::RuleBreak> ruleBreaks;
};

ExchangeHandlers recordInto(Seen& seen)
{
    ExchangeHandlers handlers;
    handlers.command = [&seen](const std::string& line) { seen.commands.push_back(line); };
    handlers.query = [&seen](const std::string& line) -> std::optional<std::string> {
        seen.queries.push_back(line);
        return std::string("12 3");
    };
    handlers.note = [&seen](const zorv_host::RuleBreak& broken) {
        seen.notes.push_back(broken.detail);
        seen.ruleBreaks.push_back(broken);
    };
    handlers.noComponent = [&seen](const std::string& note) { seen.notes.push_back(note); };
    return handlers;
}

// Limits that load cannot reach: a child that behaves answers at once, so a
// long limit costs nothing, and a short one would fail the test whenever the
// machine is busy.
constexpr double loadSeconds = 60, answerSeconds = 60;

TEST(BridgeClient, ServesCommandsQueriesAndNotesUntilDone)
{
    BridgeClient client;
    // The child checks the answer it was given and says so in a command.
    ASSERT_TRUE(client.start(script("echo ready; read event; echo 'query \"SD '\\''X'\\''\"'; read answer;"
                                    "[ \"$answer\" = 'reply \"12 3\"' ] && echo \"cmd \\\"$event: answered\\\"\";"
                                    "echo 'note reply_not_handed_back \"parent x\" \"late\"';"
                                    "printf '%s\\n' 'done \"r\\x41\" 2'; read quit")));
    ASSERT_TRUE(client.waitReady(loadSeconds));
    Seen seen;
    ExchangeResult result = client.exchange("parent x", recordInto(seen), answerSeconds);
    ASSERT_TRUE(result.ok) << client.failure().text;
    EXPECT_EQ(seen.queries, std::vector<std::string>{"SD 'X'"});
    EXPECT_EQ(seen.commands, std::vector<std::string>{"parent x: answered"});
    EXPECT_EQ(seen.notes, std::vector<std::string>{"late"});
    ASSERT_EQ(seen.ruleBreaks.size(), 1u);
    EXPECT_EQ(seen.ruleBreaks[0].kind, zorv_host::RuleBreakKind::replyNotHandedBack);
    EXPECT_EQ(seen.ruleBreaks[0].event, "parent x");
    EXPECT_EQ(result.reply, std::optional<std::string>("rA"));
    EXPECT_EQ(result.outstanding, 2u);
    client.stop();
}

TEST(BridgeClient, NamesTheWayAChildFailed)
{
    // Each exchange has its own limit: the children that crash or break the
    // protocol get one that load cannot reach, so that what they did is what
    // is reported even on a busy machine; the one that hangs never answers,
    // so any limit finds it, and a short one keeps the test short. The end
    // is what a caller decides on; the words are for people, and the same
    // as they always read.
    const struct {
        const char* body;
        bool loads;
        double seconds;
        ChildEnd end;
        const char* failure;
    } cases[] = {
        {"echo 'fail factory \"no such file\"'; exit 3", false, 0, ChildEnd::loadFailed, "cannot load: no such file"},
        {"echo 'fail load \"cannot load x.so: gone\"'; exit 3", false, 0, ChildEnd::loadFailed,
         "cannot load x.so: gone; the process exited with status 3"},
        {"echo 'fail \"no kind\"'; exit 3", false, 0, ChildEnd::brokeProtocol,
         "sent \"fail \\\"no kind\\\"\", which is not of the protocol, while loading"},
        {"exit 4", false, 0, ChildEnd::exited, "ended while loading; the process exited with status 4"},
        {"echo ready; read x; kill -SEGV $$", true, answerSeconds, ChildEnd::crashed,
         "crashed during \"timer 1\"; the process ended by signal 11"},
        {"echo ready; read x; exit 70", true, answerSeconds, ChildEnd::crashed,
         "crashed during \"timer 1\"; the process exited with status 70"},
        {"echo ready; read x; exit 4", true, answerSeconds, ChildEnd::exited,
         "crashed during \"timer 1\"; the process exited with status 4"},
        {"echo ready; read x; exec sleep 30", true, 0.3, ChildEnd::hung, "hung: no answer within 0.3 s to \"timer 1\""},
        {"echo ready; read x; echo hello; sleep 30", true, answerSeconds, ChildEnd::brokeProtocol,
         "sent \"hello\", which is not of the protocol"},
        {"echo ready; read x; echo 'note no_such_kind \"e\" \"t\"'; sleep 30", true, answerSeconds,
         ChildEnd::brokeProtocol, "which is not of the protocol"},
        {"echo ready; read x; exec >&-; exec sleep 30", true, answerSeconds, ChildEnd::brokeProtocol,
         "crashed during \"timer 1\""},
    };
    for (const auto& c : cases) {
        BridgeClient client;
        ASSERT_TRUE(client.start(script(c.body)));
        ASSERT_EQ(client.waitReady(loadSeconds), c.loads) << c.body << ": " << client.failure().text;
        if (c.loads) {
            Seen seen;
            EXPECT_FALSE(client.exchange("timer 1", recordInto(seen), c.seconds).ok) << c.body;
        }
        EXPECT_FALSE(client.running());
        const ChildFailure& failure = client.failure();
        EXPECT_EQ(failure.end, c.end) << c.body << ": " << childEndName(failure.end);
        EXPECT_EQ(failure.loading, !c.loads) << c.body;
        EXPECT_EQ(failure.event, c.loads ? "timer 1" : "") << c.body;
        EXPECT_NE(failure.text.find(c.failure), std::string::npos) << c.body << "\n  gave: " << failure.text;
    }
}

TEST(BridgeClient, TakesTheCrashRecordOverTheProcessEnd)
{
    // The bridge's crash reporter records the crash on the protocol stream,
    // then ends with status 70: the record says what the status cannot.
    const struct {
        const char* record;
        int signal;
        std::uint32_t exception;
        std::optional<zorv_host::guarded::FaultKind> memoryFault;
    } cases[] = {
        {"crashed signal 11", 11, 0, std::nullopt},
        {"crashed exception 0xc0000005", 0, 0xc0000005u, std::nullopt},
        {"crashed memory wrote_lent_memory", 0, 0, zorv_host::guarded::FaultKind::wroteLentMemory},
    };
    for (const auto& c : cases) {
        BridgeClient client;
        ASSERT_TRUE(client.start(script(std::string("echo ready; read x; echo 'cmd \"ET 1\"'; echo '") + c.record
                                        + "'; echo '! component crashed' >&2; exit 70")));
        ASSERT_TRUE(client.waitReady(loadSeconds));
        Seen seen;
        EXPECT_FALSE(client.exchange("timer 1", recordInto(seen), answerSeconds).ok);
        EXPECT_EQ(seen.commands, std::vector<std::string>{"ET 1"});
        const ChildFailure& failure = client.failure();
        EXPECT_EQ(failure.end, ChildEnd::crashed) << c.record;
        EXPECT_EQ(failure.signal, c.signal) << c.record;
        EXPECT_EQ(failure.exception, c.exception) << c.record;
        EXPECT_EQ(failure.memoryFault, c.memoryFault) << c.record;
        EXPECT_EQ(failure.exitStatus, std::optional<int>(70)) << c.record;
        EXPECT_EQ(failure.text, "crashed during \"timer 1\"; the process exited with status 70");
    }
}

TEST(BridgeClient, ReportsWhatTheChildSaidOnStandardError)
{
    BridgeClient client;
    ASSERT_TRUE(client.start(script("echo ready; echo 'crashed during timer 1' >&2; read x; exit 70")));
    ASSERT_TRUE(client.waitReady(loadSeconds));
    Seen seen;
    EXPECT_FALSE(client.exchange("timer 1", recordInto(seen), answerSeconds).ok);
    EXPECT_EQ(client.errorTail(), "crashed during timer 1");
}

// ---- recordings

void* selvarinFactory(void* host, const char* basePath)
{
    return load_zorv_client_script(static_cast<zorv_host::host_callback_base*>(host), basePath);
}

std::vector<JournalStep> takeRoad()
{
    std::vector<JournalStep> steps(5);
    steps[0].event = "create \"/p\"";
    steps[0].answers = {{"PS '1' '/p/mymon.zorv_ui'", std::string("1")}};
    steps[0].commands = {"PS '1' '/p/mymon.zorv_ui'"};
    steps[1].event = "parent \"instance=D3\"";
    steps[1].parent = true;
    steps[1].answers = {{"SD 'D3'", std::string("12 3")}};
    steps[1].commands = {"SD 'D3'"};
    steps[2].event = "parent \"activedest=3\"";
    steps[2].parent = true;
    steps[2].commands = {"TP 'statesheet=' '1' 'Ident'"};
    steps[3].event = "parent \"source=5\"";
    steps[3].parent = true;
    steps[3].commands = {"RC 12 5 3 ',' 1", "ET 1 250"};
    steps[4].event = "timer 1";
    steps[4].commands = {"HN 'clearsource=-1'", "ET 1"};
    return steps;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

zorv_host::RunResult replay(const std::string& text)
{
    std::istringstream in(text);
    std::string error;
    std::optional<zorv_host::Scenario> scenario = zorv_host::parseScenario(in, "recorded", error);
    EXPECT_TRUE(scenario) << error << "\n" << text;
    if (!scenario)
        return {1, 0, {}};
    std::ostringstream out;
    return zorv_host::runScenario(*scenario, selvarinFactory, true, out);
}

TEST(Recording, AJournalReplaysUnderTheChecker)
{
    std::string text = scenarioText(takeRoad(), {"a header"});
    EXPECT_EQ(text.rfind("# a header\n", 0), 0u);
    EXPECT_NE(text.find("host SD 'D3' -> \"12 3\"\nparent \"instance=D3\"\n> SD 'D3'\n< null\n"), std::string::npos)
        << text;
    zorv_host::RunResult result = replay(text);
    EXPECT_EQ(result.mismatches, 0) << text;
    EXPECT_EQ(result.notes, 0);
}

TEST(Recording, AWrongAnswerOrLineIsCaughtOnReplay)
{
    // The checker is not fooled: the journal's lines must be what the
    // component does with the host's answers it recorded.
    std::vector<JournalStep> wrongAnswer = takeRoad();
    wrongAnswer[1].answers[0].reply = "12 4";   // offset 4: activedest=3 no longer selects
    EXPECT_GT(replay(scenarioText(wrongAnswer, {})).mismatches, 0);
    std::vector<JournalStep> wrongLine = takeRoad();
    wrongLine[3].commands[1] = "ET 1 500";
    EXPECT_EQ(replay(scenarioText(wrongLine, {})).mismatches, 1);
}

TEST(Recording, StopsAtTheStepTheComponentFailedIn)
{
    std::vector<JournalStep> steps = takeRoad();
    ChildFailure crashed;
    crashed.end = ChildEnd::crashed;
    crashed.event = "parent \"activedest=3\"";
    crashed.text = "crashed during \"parent activedest=3\"";
    steps[2].failure = crashed;
    std::string text = scenarioText(steps, {});
    EXPECT_NE(text.find("parent \"activedest=3\"\n> TP 'statesheet=' '1' 'Ident'\n# the component failed here: "
                        "crashed during"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("source=5"), std::string::npos);

    // The recording decides on the end, not the words: a crash that reads
    // like a hang stays in, and a hang in any words becomes a comment.
    crashed.text = "hung up on: parent \"activedest=3\"";
    steps[2].failure = crashed;
    EXPECT_NE(scenarioText(steps, {}).find("# the component failed here: hung up on"), std::string::npos);

    ChildFailure hung;
    hung.end = ChildEnd::hung;
    hung.event = "parent \"activedest=3\"";
    hung.text = "no answer within 2.0 s";
    steps[2].failure = hung;
    text = scenarioText(steps, {});
    EXPECT_NE(text.find("# the component hung here, on: parent \"activedest=3\"\n# no answer within 2.0 s\n"),
              std::string::npos)
        << text;
    std::istringstream in(text);
    std::string error;
    std::optional<zorv_host::Scenario> parsed = zorv_host::parseScenario(in, "hung", error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->steps.back().source, "parent \"instance=D3\"");   // the hang is not replayed
}

// A journal keeps the whole life while it fits its budget or a recording
// is on, and only the latest steps within the budget otherwise.
TEST(Journal, KeepsWithinItsBudgetUnlessRecording)
{
    JournalStep step;
    step.event = "parent \"source=5\"";
    step.commands = {"RC 12 5 3 ',' 1", "ET 1 250"};
    const std::size_t each = stepBytes(JournalStep(step));   // as a copy counts
    Journal journal(10 * each);
    for (int i = 0; i < 10; ++i)
        journal.add(step, false);
    EXPECT_TRUE(journal.wholeLife());
    journal.add(step, false);
    EXPECT_FALSE(journal.wholeLife());
    EXPECT_EQ(journal.steps().size(), 10u);
    EXPECT_EQ(journal.dropped(), 1u);
    for (int i = 0; i < 1000; ++i)
        journal.add(step, false);
    EXPECT_EQ(journal.steps().size(), 10u);   // flat, however long the run
    EXPECT_EQ(journal.bytes(), 10 * each);
    EXPECT_EQ(journal.dropped(), 1001u);

    journal.startRecording();
    EXPECT_EQ(journal.recordFrom(), 10u);
    for (int i = 0; i < 30; ++i)
        journal.add(step, true);
    EXPECT_EQ(journal.steps().size(), 40u);   // nothing a recording holds goes
    journal.add(step, false);                 // the recording ended: back within the budget
    EXPECT_EQ(journal.steps().size(), 10u);
    EXPECT_EQ(journal.recordFrom(), 0u);

    journal.newLife();
    EXPECT_TRUE(journal.empty());
    EXPECT_TRUE(journal.wholeLife());
    EXPECT_EQ(journal.bytes(), 0u);
}

TEST(Recording, FileNamesKeepToSafeCharacters)
{
    EXPECT_EQ(scenarioFileName("MON 1"), "MON_1.scn");
    EXPECT_EQ(scenarioFileName("../x/y"), "___x_y.scn");
    EXPECT_EQ(scenarioFileName(""), "placement.scn");
}

// ---- the whole host, with bridge children of the destination component

class WorkbenchRun : public ::testing::Test {
protected:
    virtual std::string panelText()
    {
        return R"({"zorv_panel": 1, "selectedbg": "on", "deselectedbg": "off",
          "router": {"devices": [{"number": 12, "name": "R", "sources": ["S1","S2","S3","S4","S5"],
                                  "destinations": ["D1", "D2"]}]},
          "instances": {"D1": "12 1", "D2": "12 2"},
          "placements": [{"name": "A", "library": ")" ZORV_TEST_SELVARIN R"(", "instance": "D1"},
                         {"name": "B", "library": ")" ZORV_TEST_SELVARIN R"(", "instance": "D2"},
                         {"name": "C", "library": "/nonexistent/lib.so"},
                         {"name": "D", "library": ")" ZORV_TEST_SELVARIN R"(", "base_path": "/nonexistent"}]})";
    }
    virtual std::string recordDir() { return zorv_test::inProcessFolder("workbench-recordings"); }
    virtual void adjust(WorkbenchOptions&) {}

    void SetUp() override
    {
        std::string error;
        std::optional<PanelFile> panel = parsePanelFile(panelText(), "test.zorv_panel", roots, error);
        ASSERT_TRUE(panel) << error;
        WorkbenchOptions options;
        options.selfPath = ZORV_TEST_HOST;
        options.wine = "";
        options.recordDir = recordDir();
        // A component that behaves answers at once; under load the host
        // thread may itself wait long for the processor, and would call
        // it hung after the usual 2 s. No test here hangs a component.
        options.eventSeconds = 60;
        adjust(options);
        workbench = std::make_unique<Workbench>(*panel, options);
        workbench->start();
        ASSERT_TRUE(waitFor([](const json&) { return true; }, [this] { return workbench->settled(); }));
    }

    // Polls the published state until done(state) holds (60 s at most: a
    // limit that load does not reach; what holds is seen at once).
    bool waitFor(const std::function<bool(const json&)>& done, const std::function<bool()>& also = nullptr)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            json state = json::parse(workbench->state(), nullptr, false);
            if (!state.is_discarded() && state.contains("placements") && (!also || also()) && done(state))
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    static const json& placement(const json& state, const std::string& name)
    {
        for (const json& p : state["placements"])
            if (p["name"] == name)
                return p;
        throw std::runtime_error("no placement " + name);
    }

    static std::string sheet(const json& state, const std::string& name)
    {
        const json& p = placement(state, name);
        if (p["panels"].empty())
            return "";
        for (const json& control : p["panels"][0]["controls"])
            if (control["id"] == "Ident")
                return control["properties"].value("statesheet", "");
        return "";
    }

    std::unique_ptr<Workbench> workbench;
};

TEST_F(WorkbenchRun, PlaysTheTakeRoadAcrossPlacements)
{
    EXPECT_TRUE(waitFor([](const json& s) {
        return placement(s, "C")["status"] == "failed" && sheet(s, "A") == "off" && sheet(s, "B") == "off";
    }));
    EXPECT_TRUE(workbench->press("B", "1", "Monitor").get().ok);
    EXPECT_TRUE(waitFor([](const json& s) { return sheet(s, "B") == "on" && sheet(s, "A") == "off"; }));
    EXPECT_TRUE(workbench->selectSource(5).get().ok);
    EXPECT_TRUE(waitFor([](const json& s) {
        const json& points = s["router"]["devices"][0]["crosspoints"];
        return points.size() == 1 && points[0]["destination"] == 2 && points[0]["source"] == 5
               && s["parent"]["selectedSource"] == -1;   // cleared by the take timer
    }));
    Outcome reply = workbench->sendParent("B", "return=all").get();
    EXPECT_EQ(reply.reply, std::optional<std::string>("selectedbg=on\ndeselectedbg=off"));
    EXPECT_FALSE(workbench->press("B", "1", "NoSuchControl").get().ok);
    for (int source : {0, 6, 99})   // the parent has sources 1 to 5
        EXPECT_FALSE(workbench->selectSource(source).get().ok) << source;
    EXPECT_FALSE(workbench->press("C", "1", "Monitor").get().ok);
    std::string failure = placement(json::parse(workbench->state()), "C")["why"];
    EXPECT_NE(failure.find("cannot load"), std::string::npos) << failure;
    // D's layout is not where its base path says: "PS" was answered null and
    // the placement shows why, but it runs and takes part all the same.
    const json d = placement(json::parse(workbench->state()), "D");
    EXPECT_EQ(d["status"], "running");
    ASSERT_EQ(d["panels"].size(), 1u);
    EXPECT_NE(d["panels"][0]["error"].get<std::string>().find("/nonexistent/mymon.zorv_ui"), std::string::npos)
        << d["panels"][0]["error"];
    EXPECT_FALSE(workbench->press("D", "1", "Monitor").get().ok);
    bool logged = false;
    for (const LogEntry& entry : workbench->logSince(0))
        logged = logged || (entry.placement == "D" && entry.text.find("which has no layout") != std::string::npos);
    EXPECT_TRUE(logged);   // its TP for "Ident" went to a panel without a layout
}

// The panel file names no state sheets: the ones the component uses are
// said once each, in the log and on the card.
TEST_F(WorkbenchRun, StateSheetsThePanelFileLacksAreNamed)
{
    EXPECT_TRUE(workbench->press("A", "1", "Monitor").get().ok);
    EXPECT_TRUE(waitFor([](const json& s) {
        const json& sheets = placement(s, "A")["unknownSheets"];
        return sheets.size() == 2 && sheets[0] == "off" && sheets[1] == "on";
    }));
    int said = 0;
    for (const LogEntry& entry : workbench->logSince(0))
        said += entry.placement == "A" && entry.text.find("is not in the panel file's") != std::string::npos;
    EXPECT_EQ(said, 2);
}

// A long run keeps the journal within its budget (a test-sized one here),
// and the card then says a recording cannot reach back to the life's start.
class WorkbenchLongRun : public WorkbenchRun {
protected:
    void adjust(WorkbenchOptions& options) override { options.journalBytes = 4 << 10; }
};

TEST_F(WorkbenchLongRun, KeepsTheJournalWithinItsBudget)
{
    ASSERT_TRUE(waitFor([](const json& s) { return placement(s, "A")["status"] == "running"; }));
    std::size_t stepsKept = 0;
    for (int round = 1; round <= 3; ++round) {
        for (int i = 0; i < 40; ++i)
            ASSERT_TRUE(workbench->sendEvent("A", 1).get().ok);
        ASSERT_TRUE(workbench->sendParent("A", "return=all").get().ok);   // published after the events
        const json journal = placement(json::parse(workbench->state()), "A")["journal"];
        EXPECT_LE(journal["bytes"].get<std::size_t>(), std::size_t(4) << 10);
        EXPECT_FALSE(journal["wholeLife"].get<bool>());
        EXPECT_NE(journal["reach"].get<std::string>().find("restart it to record"), std::string::npos);
        if (round > 1) {
            EXPECT_EQ(journal["steps"].get<std::size_t>(), stepsKept);   // flat
        }
        stepsKept = journal["steps"];
    }
    // Its life cannot be replayed from a part: no file, and the log says why.
    ASSERT_TRUE(workbench->setRecording(true).get().ok);
    ASSERT_TRUE(workbench->sendParent("A", "return=all").get().ok);
    Outcome written = workbench->setRecording(false).get();
    ASSERT_TRUE(written.ok) << written.error;
    for (const std::string& file : written.files)
        EXPECT_NE(std::filesystem::path(file).filename().string().rfind("A", 0), 0u) << file;
    bool said = false;
    for (const LogEntry& entry : workbench->logSince(0))
        said = said || (entry.placement == "A" && entry.text.find("not recorded: this life outgrew") == 0);
    EXPECT_TRUE(said);
}

TEST_F(WorkbenchRun, ATypedActiveDestinationMovesTheSelectionOfEveryPlacement)
{
    EXPECT_TRUE(workbench->press("A", "1", "Monitor").get().ok);
    EXPECT_TRUE(waitFor([](const json& s) { return sheet(s, "A") == "on" && sheet(s, "B") == "off"; }));
    // Typed on A's card, it names B's destination: B is selected, A no more.
    EXPECT_TRUE(workbench->sendParent("A", "activedest=2").get().ok);
    EXPECT_TRUE(waitFor([](const json& s) {
        return sheet(s, "A") == "off" && sheet(s, "B") == "on" && s["parent"]["activeDest"] == 2;
    }));
    // Anything else typed goes to that placement alone: A gets it, B does
    // not, and the active destination stays. Those are absences, so they are
    // read once a later request through the same host queue (an event to A)
    // shows in the published state: whatever the typed message did is
    // published by then.
    const json before = json::parse(workbench->state());
    const int eventsA = placement(before, "A")["books"]["events"];
    const int eventsB = placement(before, "B")["books"]["events"];
    EXPECT_TRUE(workbench->sendParent("A", "activedest=x").get().ok);
    EXPECT_TRUE(workbench->sendEvent("A", 1).get().ok);
    ASSERT_TRUE(waitFor([&](const json& s) { return placement(s, "A")["books"]["events"] == eventsA + 2; }));
    const json after = json::parse(workbench->state());
    EXPECT_EQ(after["parent"]["activeDest"], 2);
    EXPECT_EQ(placement(after, "B")["books"]["events"], eventsB);
    EXPECT_EQ(sheet(after, "A"), "off");
    EXPECT_EQ(sheet(after, "B"), "on");
}

TEST_F(WorkbenchRun, TheEventsOfNoControlReachTheComponentAndAreRecorded)
{
    ASSERT_TRUE(waitFor([](const json& s) { return placement(s, "A")["status"] == "running"; }));
    const int before = placement(json::parse(workbench->state()), "A")["books"]["events"];
    EXPECT_TRUE(workbench->setRecording(true).get().ok);
    for (int code : {1, 6, 7}) {
        Outcome sent = workbench->sendEvent("A", code).get();
        EXPECT_TRUE(sent.ok) << code << ": " << sent.error;
    }
    for (int code : {0, 2, 3, 4, 5, 8, -1})
        EXPECT_FALSE(workbench->sendEvent("A", code).get().ok) << code;
    EXPECT_FALSE(workbench->sendEvent("nobody", 1).get().ok);
    EXPECT_TRUE(waitFor([&](const json& s) { return placement(s, "A")["books"]["events"] == before + 3; }));
    Outcome written = workbench->setRecording(false).get();
    ASSERT_TRUE(written.ok) << written.error;
    int replayed = 0;
    for (const std::string& file : written.files) {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        if (text.str().find("event 6 null\n") == std::string::npos)
            continue;   // another placement's
        EXPECT_EQ(replay(text.str()).mismatches, 0) << text.str();
        ++replayed;
    }
    EXPECT_EQ(replayed, 1);
}

TEST_F(WorkbenchRun, ARecordingReplaysAndARestartKeepsTheSelection)
{
    EXPECT_TRUE(workbench->setRecording(true).get().ok);
    EXPECT_TRUE(workbench->press("A", "1", "Monitor").get().ok);
    EXPECT_TRUE(waitFor([](const json& s) { return sheet(s, "A") == "on"; }));
    EXPECT_TRUE(workbench->selectSource(3).get().ok);
    EXPECT_TRUE(waitFor([](const json& s) {
        const json& points = s["router"]["devices"][0]["crosspoints"];
        return points.size() == 1 && points[0]["source"] == 3 && s["parent"]["selectedSource"] == -1;
    }));
    Outcome written = workbench->setRecording(false).get();
    ASSERT_TRUE(written.ok) << written.error;
    ASSERT_EQ(written.files.size(), 3u);   // C never ran
    for (const std::string& file : written.files) {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_NE(text.str().find("# recording switched on"), std::string::npos) << file;
        zorv_host::RunResult result = replay(text.str());
        EXPECT_EQ(result.mismatches, 0) << file << "\n" << text.str();
    }
    EXPECT_TRUE(workbench->restart("A").get().ok);
    EXPECT_TRUE(waitFor([](const json& s) {
        const json& a = placement(s, "A");
        return a["generation"] == 2 && a["status"] == "running" && sheet(s, "A") == "on";
    }));
}

// Two placements whose names make one file name, and a recording folder
// that cannot be made at first.
class WorkbenchRecording : public WorkbenchRun {
protected:
    std::string panelText() override
    {
        return R"({"zorv_panel": 1, "placements": [{"name": "M 1", "library": ")" ZORV_TEST_SELVARIN R"("},
                                                  {"name": "M_1", "library": ")" ZORV_TEST_SELVARIN R"("}]})";
    }
    std::string recordDir() override { return blocker() + "/recordings"; }
    static std::string blocker() { return zorv_test::inProcessFolder("workbench-blocker"); }
};

TEST_F(WorkbenchRecording, AFailedWriteKeepsRecordingAndNamesStayApart)
{
    std::filesystem::remove_all(blocker());
    std::ofstream(blocker()) << "a file where the folder should go";
    ASSERT_TRUE(workbench->setRecording(true).get().ok);
    EXPECT_TRUE(workbench->sendParent("M 1", "return=all").get().ok);
    Outcome failed = workbench->setRecording(false).get();
    EXPECT_FALSE(failed.ok);
    EXPECT_NE(failed.error.find("still recording"), std::string::npos) << failed.error;
    // "Still recording" is a state that did not change: read once a later
    // request through the same host queue (a message to "M_1") shows.
    const int events = placement(json::parse(workbench->state()), "M_1")["books"]["events"];
    EXPECT_TRUE(workbench->sendParent("M_1", "return=all").get().ok);
    ASSERT_TRUE(waitFor([&](const json& s) { return placement(s, "M_1")["books"]["events"] == events + 1; }));
    EXPECT_EQ(json::parse(workbench->state())["recording"], true);
    std::filesystem::remove(blocker());
    Outcome written = workbench->setRecording(false).get();
    ASSERT_TRUE(written.ok) << written.error;
    std::vector<std::string> names;
    for (const std::string& file : written.files)
        names.push_back(std::filesystem::path(file).filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"M_1.scn", "M_1_2.scn"}));
    // A second recording writes files of its own: the first stay.
    ASSERT_TRUE(workbench->setRecording(true).get().ok);
    EXPECT_TRUE(workbench->sendParent("M 1", "return=all").get().ok);
    written = workbench->setRecording(false).get();
    ASSERT_TRUE(written.ok) << written.error;
    names.clear();
    for (const std::string& file : written.files)
        names.push_back(std::filesystem::path(file).filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"M_1_3.scn", "M_1_4.scn"}));
    EXPECT_TRUE(std::filesystem::exists(recordDir() + "/M_1.scn"));
    std::filesystem::remove_all(blocker());
}

// A placement whose layout lies in a folder of the test's own, to be edited,
// and a witness beside it whose layout is touched to see the watcher look.
class WorkbenchLayoutEdit : public WorkbenchRun {
protected:
    std::string panelText() override
    {
        for (const char* name : {"E", "W"}) {
            std::filesystem::create_directories(folder(name));
            std::filesystem::copy_file(std::filesystem::path(ZORV_TEST_SELVARIN).parent_path() / "mymon.zorv_ui",
                                       layout(name), std::filesystem::copy_options::overwrite_existing);
        }
        return R"({"zorv_panel": 1, "placements": [{"name": "E", "library": ")" ZORV_TEST_SELVARIN
               R"(", "base_path": ")" + folder("E") + R"("}, {"name": "W", "library": ")" ZORV_TEST_SELVARIN
               R"(", "base_path": ")" + folder("W") + R"("}]})";
    }
    static std::string folder(const std::string& name)
    {
        return zorv_test::inProcessFolder("workbench-layout-" + name);
    }
    static std::string layout(const std::string& name) { return folder(name) + "/mymon.zorv_ui"; }

    static bool changed(const json& s, const std::string& name) { return placement(s, name)["changed"] == true; }
    static bool shown(const json& s, const std::string& name)
    {
        const json& p = placement(s, name);
        return p["status"] == "running" && !p["panels"].empty();
    }

    static void touch(const std::string& path)
    {
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(5));
    }

    // "E did not change" is an absence: it is read only after the watcher
    // has looked at the files since E showed its layout. The witness W is
    // (re)started, its layout touched, and its change seen: the watcher
    // looks at every placement in one pass and publishes after it, so the
    // state that shows W changed shows what that pass found of E.
    bool watcherLookedAgain()
    {
        const int generation = placement(json::parse(workbench->state()), "W")["generation"];
        if (!workbench->restart("W").get().ok)
            return false;
        if (!waitFor([&](const json& s) {
                return placement(s, "W")["generation"] == generation + 1 && shown(s, "W") && !changed(s, "W");
            }))
            return false;
        touch(layout("W"));
        return waitFor([](const json& s) { return changed(s, "W"); });
    }
};

TEST_F(WorkbenchLayoutEdit, AnEditedLayoutOffersAReloadThatShowsIt)
{
    ASSERT_TRUE(waitFor([](const json& s) { return shown(s, "E"); }));
    ASSERT_TRUE(watcherLookedAgain());
    EXPECT_FALSE(changed(json::parse(workbench->state()), "E"));
    touch(layout("E"));
    EXPECT_TRUE(waitFor([](const json& s) { return changed(s, "E"); }));
    EXPECT_TRUE(workbench->restart("E").get().ok);
    EXPECT_TRUE(waitFor([](const json& s) { return shown(s, "E") && !changed(s, "E"); }));
    // The reload took the edited layout as the one loaded: no change seen.
    ASSERT_TRUE(watcherLookedAgain());
    EXPECT_FALSE(changed(json::parse(workbench->state()), "E"));
    // A recording across a reload holds the reloaded life only, which the
    // checker replays: the life before ran what the reload replaced.
    ASSERT_TRUE(workbench->setRecording(true).get().ok);
    EXPECT_TRUE(workbench->sendParent("E", "return=all").get().ok);
    touch(layout("E"));
    EXPECT_TRUE(waitFor([](const json& s) { return changed(s, "E"); }));
    EXPECT_TRUE(workbench->restart("E").get().ok);
    EXPECT_TRUE(waitFor([](const json& s) { return shown(s, "E") && !changed(s, "E"); }));
    EXPECT_TRUE(workbench->sendParent("E", "return=all").get().ok);
    Outcome written = workbench->setRecording(false).get();
    ASSERT_TRUE(written.ok) << written.error;
    std::string recorded;
    for (const std::string& file : written.files)
        if (std::filesystem::path(file).filename().string().rfind("E", 0) == 0)   // E.scn, or E_N.scn after others
            recorded = readText(file);
    std::size_t creates = 0;
    for (std::size_t at = recorded.find("\ncreate "); at != std::string::npos; at = recorded.find("\ncreate ", at + 1))
        ++creates;
    EXPECT_EQ(creates, 1u) << recorded;
    EXPECT_EQ(replay(recorded).mismatches, 0) << recorded;
    // A layout that goes away is a change too: the reload shows why PS fails.
    std::filesystem::remove(layout("E"));
    EXPECT_TRUE(waitFor([](const json& s) { return changed(s, "E"); }));
}

} // namespace
