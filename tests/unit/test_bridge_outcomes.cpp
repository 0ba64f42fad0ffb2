// The bridge end to end: real `zorv-host bridge` children of planted faulty
// components, driven by the client the workbench uses. Every way a child
// ends, and every kind of note, must reach the caller as a record, and the
// workbench must decide on those records: a factory's null stops a
// placement, a crash marks it crashed, a recording keeps the crash.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "bridge_client.h"
#include "panel_file.h"
#include "test_folder.h"
#include "workbench.h"

// A namespace of its own: the file compiles in a batch with the other
// workbench tests, which have helpers of these names.
namespace bridge_outcomes {

using namespace zorv_workbench;
using nlohmann::json;
using zorv_host::RuleBreak;
using zorv_host::RuleBreakKind;

// Limits that load cannot reach (a child that behaves answers at once).
constexpr double loadSeconds = 60, answerSeconds = 60;

std::string faulty(const std::string& fault)
{
    return std::string(ZORV_TEST_FAULTY_DIR) + "/faulty_" + fault + ".so";
}

struct Seen {
    std::vector<std::string> commands, noComponent;
    std::vector<RuleBreak> notes;
};

ExchangeHandlers recordInto(Seen& seen)
{
    ExchangeHandlers handlers;
    handlers.command = [&seen](const std::string& line) { seen.commands.push_back(line); };
    handlers.query = [&seen](const std::string& line) -> std::optional<std::string> {
        seen.commands.push_back(line);
        return std::string("1");
    };
    handlers.note = [&seen](const RuleBreak& broken) { seen.notes.push_back(broken); };
    handlers.noComponent = [&seen](const std::string& line) { seen.noComponent.push_back(line); };
    return handlers;
}

// A bridge child of library, created (base path null) and ready for events.
struct Child {
    BridgeClient client;
    Seen created;
    bool loaded = false;

    explicit Child(const std::string& library)
    {
        loaded = client.start({ZORV_TEST_HOST, "bridge", library}) && client.waitReady(loadSeconds);
        if (loaded)
            client.exchange("create null", recordInto(created), answerSeconds);
    }
    ~Child() { client.stop(); }
};

TEST(BridgeOutcomes, ALibraryThatDoesNotLoadFailsToLoadAndSaysWhy)
{
    // A file that is no library (this test's source): the loader's sentence
    // names it.
    Child notALibrary(__FILE__);
    EXPECT_FALSE(notALibrary.loaded);
    EXPECT_EQ(notALibrary.client.failure().end, ChildEnd::loadFailed);
    EXPECT_TRUE(notALibrary.client.failure().loading);
    EXPECT_EQ(notALibrary.client.failure().exitStatus, std::optional<int>(3));
    EXPECT_EQ(notALibrary.client.failure().text.rfind(std::string("cannot load ") + __FILE__ + ": ", 0), 0u)
        << notALibrary.client.failure().text;

    // A library of no factory: the sentence says it could not be loaded.
    Child noFactory(ZORV_TEST_TEXT_LIBRARY);
    EXPECT_FALSE(noFactory.loaded);
    EXPECT_EQ(noFactory.client.failure().end, ChildEnd::loadFailed);
    EXPECT_EQ(noFactory.client.failure().text.rfind(std::string("cannot load: ") + ZORV_TEST_TEXT_LIBRARY
                                                        + " does not export load_zorv_client_script",
                                                    0),
              0u)
        << noFactory.client.failure().text;
}

TEST(BridgeOutcomes, AFactorysNullIsARecordNotANote)
{
    Child child(faulty("null_factory"));
    ASSERT_TRUE(child.loaded) << child.client.failure().text;
    EXPECT_TRUE(child.client.running());
    EXPECT_EQ(child.created.noComponent, std::vector<std::string>{"the factory returned null"});
    EXPECT_TRUE(child.created.notes.empty());
}

TEST(BridgeOutcomes, ARuleBreakArrivesWithItsKindAndEvent)
{
    Child child(faulty("malformed_command"));
    ASSERT_TRUE(child.loaded) << child.client.failure().text;
    Seen seen;
    ASSERT_TRUE(child.client.exchange("parent go", recordInto(seen), answerSeconds).ok)
        << child.client.failure().text;
    ASSERT_EQ(seen.notes.size(), 1u);
    EXPECT_EQ(seen.notes[0].kind, RuleBreakKind::unknownVerb);
    EXPECT_EQ(seen.notes[0].event, "parent go");
    EXPECT_EQ(seen.notes[0].detail, "unknown verb in command \"XX what\"");
}

TEST(BridgeOutcomes, ACrashArrivesWithItsSignal)
{
    Child child(faulty("crashes_on_event"));
    ASSERT_TRUE(child.loaded) << child.client.failure().text;
    Seen seen;
    EXPECT_FALSE(child.client.exchange("timer 1", recordInto(seen), answerSeconds).ok);
    const ChildFailure& failure = child.client.failure();
    EXPECT_EQ(failure.end, ChildEnd::crashed) << childEndName(failure.end);
    EXPECT_FALSE(failure.loading);
    EXPECT_EQ(failure.event, "timer 1");
    EXPECT_EQ(failure.signal, SIGSEGV);
    EXPECT_EQ(failure.exitStatus, std::optional<int>(70));
    EXPECT_FALSE(failure.memoryFault);
    EXPECT_EQ(failure.text, "crashed during \"timer 1\"; the process exited with status 70");
}

TEST(BridgeOutcomes, AFaultOnGuardedMemoryArrivesWithTheRuleItBroke)
{
    Child child(faulty("writes_message_text"));
    ASSERT_TRUE(child.loaded) << child.client.failure().text;
    Seen seen;
    EXPECT_FALSE(child.client.exchange("parent \"a=1\"", recordInto(seen), answerSeconds).ok);
    const ChildFailure& failure = child.client.failure();
    EXPECT_EQ(failure.end, ChildEnd::crashed) << childEndName(failure.end);
    EXPECT_EQ(failure.memoryFault, zorv_host::guarded::FaultKind::wroteLentMemory);
    EXPECT_EQ(failure.signal, 0);
}

TEST(BridgeOutcomes, AHangIsKilledAndSaidToHang)
{
    Child child(faulty("hangs_on_event"));
    ASSERT_TRUE(child.loaded) << child.client.failure().text;
    Seen seen;
    EXPECT_FALSE(child.client.exchange("timer 1", recordInto(seen), 0.5).ok);
    EXPECT_EQ(child.client.failure().end, ChildEnd::hung);
    EXPECT_EQ(child.client.failure().event, "timer 1");
    EXPECT_FALSE(child.client.failure().exitStatus);
}

// ---- the workbench decides on the records

const json& placement(const json& state, const std::string& name)
{
    for (const json& p : state["placements"])
        if (p["name"] == name)
            return p;
    throw std::runtime_error("no placement " + name);
}

// The line of the planted faults' source that holds marker, as "FILE:LINE"'s end.
std::string plantedPlace(const std::string& marker)
{
    const std::string file = std::string(__FILE__).substr(0, std::string(__FILE__).rfind('/'))
                             + "/../faulty_components/faulty_component.cpp";
    std::ifstream in(file);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number)
        if (line.find(marker) != std::string::npos)
            return "faulty_component.cpp:" + std::to_string(number) + ")";
    return "no line holds " + marker;
}

TEST(BridgeOutcomes, TheWorkbenchStopsANullFactoryAndRecordsACrash)
{
    const std::string text = R"({"zorv_panel": 1, "placements": [
        {"name": "N", "library": ")" + faulty("null_factory") + R"("},
        {"name": "F", "library": ")" + faulty("crashes_on_own_button") + R"("}]})";
    std::string error;
    std::optional<PanelFile> panel = parsePanelFile(text, "outcomes.zorv_panel", {"/b", "/d", "/d64"}, error);
    ASSERT_TRUE(panel) << error;
    WorkbenchOptions options;
    options.selfPath = ZORV_TEST_HOST;
    options.wine = options.wine64 = "";
    options.eventSeconds = 60;
    options.recordDir = zorv_test::inProcessFolder("bridge-outcome-recordings");
    Workbench workbench(*panel, options);
    workbench.start();
    auto waitFor = [&](const std::function<bool(const json&)>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            json state = json::parse(workbench.state(), nullptr, false);
            if (!state.is_discarded() && state.contains("placements") && done(state))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    };
    ASSERT_TRUE(waitFor([](const json& s) {
        return placement(s, "N")["status"] == "stopped" && placement(s, "F")["status"] == "running";
    }));
    const json n = placement(json::parse(workbench.state()), "N");
    EXPECT_EQ(n["why"], "the factory returned null: there is no component to drive");
    EXPECT_EQ(n["books"]["ruleBreaks"], 1);
    EXPECT_EQ(n["books"]["lastRuleBreak"], "the factory returned null");

    ASSERT_TRUE(workbench.setRecording(true).get().ok);
    EXPECT_FALSE(workbench.press("F", "1", "Fire").get().ok);
    ASSERT_TRUE(waitFor([](const json& s) { return placement(s, "F")["status"] == "crashed"; }));
    const std::string why = placement(json::parse(workbench.state()), "F")["why"];
    EXPECT_EQ(why.rfind("crashed during \"button ", 0), 0u) << why;
    // The card names the planted line in the component's innermost frame
    // (an optimised build names an inlined function by its short name).
    const std::size_t first = why.find("\n    at ");
    ASSERT_NE(first, std::string::npos) << why;
    const std::string frame = why.substr(first + 1, why.find('\n', first + 1) - first - 1);
    EXPECT_NE(frame.find("crash"), std::string::npos) << why;
    EXPECT_NE(frame.find(plantedPlace("planted: the crash")), std::string::npos) << why;
    Outcome written = workbench.setRecording(false).get();
    ASSERT_TRUE(written.ok) << written.error;
    bool found = false;
    for (const std::string& file : written.files) {
        std::ifstream in(file);
        std::stringstream recorded;
        recorded << in.rdbuf();
        if (recorded.str().find("Fire") == std::string::npos)
            continue;
        found = true;
        EXPECT_NE(recorded.str().find("# the component failed here: crashed during"), std::string::npos)
            << recorded.str();
    }
    EXPECT_TRUE(found);
    workbench.stop();
}

} // namespace bridge_outcomes
