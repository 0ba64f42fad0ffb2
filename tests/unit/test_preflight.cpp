// What preflight makes of the validations it runs (validate --json in a
// child process), and how its report reads: each failed check a line of its
// own, one FAIL line a cause, NOTE and SKIP lines never failing it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "preflight.h"

using namespace zorv_host;

namespace {

ChildOutcome finished(const std::string& out, int exitCode = 0)
{
    ChildOutcome child;
    child.started = true;
    child.exitCode = exitCode;
    child.description = "exited with status " + std::to_string(exitCode);
    child.out = out;
    return child;
}

std::string report(const nlohmann::json& checks, int passed, int failed, int skipped = 0)
{
    return nlohmann::json{{"schema", 5}, {"strictness", 1}, {"checks", checks}, {"passed", passed},
                          {"failed", failed}, {"warned", 0}, {"skipped", skipped}}
        .dump(2);
}

nlohmann::json check(const char* name, const char* status, const char* reason, const char* kind = nullptr)
{
    return {{"name", name}, {"status", status}, {"reason", reason},
            {"kind", kind ? nlohmann::json(kind) : nlohmann::json()}, {"round", 1}, {"seconds", 0.1}};
}

} // namespace

TEST(PreflightReport, EachFailedCheckOfTheValidationIsALineOfItsOwn)
{
    // Reasons with "; " in them stay whole: nothing is joined or split.
    PreflightItem item = readValidation(finished(
        report(nlohmann::json::array({check("library.factory", "PASS", ""), check("replies.fresh", "FAIL", "reply reused; twice"),
                check("storm", "FAIL", "event 3: crashed"), check("robustness.bytes", "WARN", "slow")}),
               1, 2),
        1));
    EXPECT_EQ(item.status, PreflightStatus::fail);
    EXPECT_EQ(item.detail, "strictness 1: 1 passed, 2 failed");
    ASSERT_EQ(item.lines.size(), 2u);
    EXPECT_EQ(item.lines[0].status, "FAIL");
    EXPECT_EQ(item.lines[0].name, "replies.fresh");
    EXPECT_EQ(item.lines[0].detail, "reply reused; twice");
    EXPECT_EQ(item.lines[1].name, "storm");

    PreflightItem clean = readValidation(finished(report(nlohmann::json::array({check("library.factory", "PASS", "")}), 16, 0)));
    EXPECT_EQ(clean.status, PreflightStatus::pass);
    EXPECT_EQ(clean.detail, "strictness 1: 16 passed, 0 failed");
    EXPECT_TRUE(clean.lines.empty());
}

TEST(PreflightReport, AMissingLayoutIsNotReadyEvenWhereTheValidationOnlyWarns)
{
    PreflightItem item = readValidation(finished(
        report(nlohmann::json::array({check("library.factory", "PASS", ""),
                                      check("library.layouts", "WARN", "the layout \"a.zorv_ui\" is not there",
                                            "layout_unread"),
                                      check("robustness.bytes", "WARN", "slow", "crash")}),
               1, 0)));
    EXPECT_EQ(item.status, PreflightStatus::fail);
    ASSERT_EQ(item.lines.size(), 1u);
    EXPECT_EQ(item.lines[0].status, "WARN");
    EXPECT_EQ(item.lines[0].name, "library.layouts");
}

TEST(PreflightReport, AValidationWithoutAReportFailsInWords)
{
    ChildOutcome crashed = finished("{ \"checks\": [");
    crashed.crashed = true;
    crashed.description = "crashed (exception 0xc0000005)";
    ChildOutcome garbled = finished("validating x.dll\nFAIL  storm: ...\n", 1);
    garbled.err = "zorv-host: something odd\nsecond line";
    ChildOutcome notStarted;
    notStarted.description = "CreateProcess failed (error 2)";
    struct Case {
        ChildOutcome child;
        const char* detail;
    } cases[] = {
        {crashed, "zorv-host.exe validate crashed (exception 0xc0000005)"},
        {garbled, "zorv-host.exe validate gave no report (exited with status 1: zorv-host: something odd)"},
        {finished("[1, 2]"), "zorv-host.exe validate gave no report (exited with status 0)"},
        {notStarted, "zorv-host.exe could not run itself: CreateProcess failed (error 2)"},
    };
    for (const Case& c : cases) {
        for (PreflightItem item : {readValidation(c.child), readFactoryCall(c.child)}) {
            EXPECT_EQ(item.status, PreflightStatus::fail) << c.detail;
            EXPECT_EQ(item.detail, c.detail);
            EXPECT_TRUE(item.lines.empty());
        }
    }
}

TEST(PreflightReport, TheFactoryCallTellsALoadFailureFromARefusal)
{
    struct Case {
        nlohmann::json checks;
        PreflightStatus status;
        const char* detail;
    } cases[] = {
        {nlohmann::json::array({check("library.factory", "PASS", "")}), PreflightStatus::pass,
         "fit the component's reserves (its first factory call made a component)"},
        {nlohmann::json::array({check("library.factory", "FAIL", "cannot load x.dll: zorv_string.dll not found",
                                      "load_failed")}),
         PreflightStatus::fail, "the component cannot be loaded here: cannot load x.dll: zorv_string.dll not found"},
        {nlohmann::json::array({check("library.factory", "FAIL", "the factory returned null")}), PreflightStatus::fail,
         "the component's first factory call made nothing (the factory returned null); it makes nothing when the "
         "text library's objects do not fit its reserves, and its debug line names the class and the bytes"},
        {nlohmann::json::array(), PreflightStatus::fail, "zorv-host.exe validate ran no library.factory check"},
    };
    for (const Case& c : cases) {
        PreflightItem item = readFactoryCall(finished(report(c.checks, 0, 0)));
        EXPECT_EQ(item.item, "text library objects");
        EXPECT_EQ(item.status, c.status) << c.detail;
        EXPECT_EQ(item.detail, c.detail);
    }
}

TEST(PreflightReport, DecidesOnTheFieldsOfTheReportNeverOnItsWords)
{
    // Reasons that read like the text output's verdicts, and a load failure
    // in other words: the status and the kind decide, the reason is shown.
    PreflightItem validation = readValidation(finished(
        report(nlohmann::json::array({check("library.factory", "PASS", "FAIL  storm: 3 passed, 1 failed"),
                                      check("replies.fresh", "WARN", "FAIL"),
                                      check("storm", "FAIL", "PASS", "crash"),
                                      check("queries.handback", "SKIP", "not ready to deploy")}),
               1, 1, 1)));
    EXPECT_EQ(validation.status, PreflightStatus::fail);
    EXPECT_EQ(validation.detail, "strictness 1: 1 passed, 1 failed, 1 skipped");
    ASSERT_EQ(validation.lines.size(), 1u);
    EXPECT_EQ(validation.lines[0].name, "storm");
    EXPECT_EQ(validation.lines[0].detail, "PASS");

    // A status of no known name is no pass: it fails the validation.
    PreflightItem odd = readValidation(
        finished(report(nlohmann::json::array({check("storm", "BROKEN", "what now")}), 0, 0)));
    EXPECT_EQ(odd.status, PreflightStatus::fail);
    ASSERT_EQ(odd.lines.size(), 1u);
    EXPECT_EQ(odd.lines[0].name, "storm");

    struct Case {
        nlohmann::json check;
        PreflightStatus status;
        const char* detail;
    } cases[] = {
        {check("library.factory", "PASS", "cannot load: FAIL"), PreflightStatus::pass,
         "fit the component's reserves (its first factory call made a component)"},
        {check("library.factory", "FAIL", "the DLL will not map here", "load_failed"), PreflightStatus::fail,
         "the component cannot be loaded here: the DLL will not map here"},
        // Words about loading without the kind: a refusal, not a load failure.
        {check("library.factory", "FAIL", "cannot load x.dll"), PreflightStatus::fail,
         "the component's first factory call made nothing (cannot load x.dll); it makes nothing when the text "
         "library's objects do not fit its reserves, and its debug line names the class and the bytes"},
        {check("library.factory", "WARN", "slow", "hang"), PreflightStatus::fail,
         "the component's first factory call made nothing (slow); it makes nothing when the text library's "
         "objects do not fit its reserves, and its debug line names the class and the bytes"},
    };
    for (const Case& c : cases) {
        PreflightItem item = readFactoryCall(finished(report(nlohmann::json::array({c.check}), 0, 0)));
        EXPECT_EQ(item.status, c.status) << c.check.dump();
        EXPECT_EQ(item.detail, c.detail) << c.check.dump();
    }
}

TEST(PreflightReport, NotesAndSkipsNeverFailTheVerdictFailuresDo)
{
    PreflightItem note{"search order", PreflightStatus::note, "assumed: a plain load",
                       {{"", "plain load (the panel host)", "finds C:\\host\\zorv_string.dll"}}};
    PreflightItem failed{"validate", PreflightStatus::fail, "strictness 1: 15 passed, 1 failed",
                         {{"FAIL", "storm", "crashed"}}};
    PreflightOptions text;
    EXPECT_EQ(formatPreflight({note, notRunBecause("validate", "imports zorv_string.dll")}, text),
              "NOTE search order: assumed: a plain load\n"
              "    plain load (the panel host): finds C:\\host\\zorv_string.dll\n"
              "SKIP validate: not run: imports zorv_string.dll failed\n"
              "ready to deploy\n");
    EXPECT_EQ(formatPreflight({note, failed}, text),
              "NOTE search order: assumed: a plain load\n"
              "    plain load (the panel host): finds C:\\host\\zorv_string.dll\n"
              "FAIL validate: strictness 1: 15 passed, 1 failed\n"
              "    FAIL  storm: crashed\n"
              "not ready to deploy\n");

    PreflightOptions json;
    json.json = true;
    json.component = "x.dll";
    nlohmann::json doc = nlohmann::json::parse(formatPreflight({note, failed}, json));
    EXPECT_EQ(doc["schema"], 2);
    EXPECT_EQ(doc["pass"], false);
    EXPECT_EQ(doc["items"][0]["status"], "NOTE");
    EXPECT_TRUE(doc["items"][0]["lines"][0]["status"].is_null());
    EXPECT_EQ(doc["items"][1]["lines"][0], (nlohmann::json{{"status", "FAIL"}, {"name", "storm"}, {"detail", "crashed"}}));
    EXPECT_FALSE(nlohmann::json::parse(formatPreflight({note}, json)).at("items")[0].at("lines").empty());
    EXPECT_EQ(nlohmann::json::parse(formatPreflight({note}, json))["pass"], true);
}
