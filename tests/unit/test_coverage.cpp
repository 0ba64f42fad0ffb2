// The coverage figures read from gcovr's JSON report, and their summary.
#include <gtest/gtest.h>

#include "coverage.h"

namespace zorv_host {
namespace {

// Two files: code and non-code lines, taken and untaken branches, reached
// and unreached functions (one of them a handler).
const char report[] = R"json({"files": [
  {"file": "a.cpp",
   "functions": [{"name": "A::helper(int)", "lineno": 9, "execution_count": 0},
                 {"name": "A::timerCallback(int)", "lineno": 4, "execution_count": 0},
                 {"name": "A::A()", "lineno": 2, "execution_count": 3}],
   "lines": [{"line_number": 1, "count": 0, "gcovr/noncode": true, "branches": []},
             {"line_number": 2, "count": 3, "gcovr/noncode": false, "branches": []},
             {"line_number": 3, "count": 5, "gcovr/noncode": false,
              "branches": [{"count": 5}, {"count": 0}]},
             {"line_number": 4, "count": 0, "gcovr/noncode": false, "branches": []},
             {"line_number": 5, "count": 0, "gcovr/noncode": false, "gcovr/excluded": true, "branches": []}]},
  {"file": "b.cpp", "functions": [], "lines": []}
]})json";

TEST(CoverageFigures, CountsCodeLinesBranchesAndFunctionsPerFile)
{
    CoverageFigures figures;
    std::string error;
    ASSERT_TRUE(readCoverageFigures(report, figures, error)) << error;
    ASSERT_EQ(figures.files.size(), 2u);
    const FileCoverage& a = figures.files[0];
    EXPECT_EQ(a.file, "a.cpp");
    EXPECT_EQ(a.lines, 3);   // the non-code and the excluded lines are not counted
    EXPECT_EQ(a.linesReached, 2);
    EXPECT_EQ(a.branches, 2);
    EXPECT_EQ(a.branchesReached, 1);
    EXPECT_EQ(a.functions, 3);
    EXPECT_EQ(a.functionsReached, 1);
    EXPECT_EQ(figures.total.lines, 3);
    EXPECT_EQ(figures.files[1].lines, 0);
    // The handler comes first, whatever gcovr's order.
    ASSERT_EQ(figures.unreached.size(), 2u);
    EXPECT_EQ(figures.unreached[0].name, "A::timerCallback(int)");
    EXPECT_TRUE(figures.unreached[0].handler);
    EXPECT_EQ(figures.unreached[1].name, "A::helper(int)");
    EXPECT_EQ(figures.unreached[1].line, 9);
}

TEST(CoverageFigures, TheSummaryNamesWhatWasNeverReached)
{
    CoverageFigures figures;
    std::string error;
    ASSERT_TRUE(readCoverageFigures(report, figures, error)) << error;
    const std::string text = describeCoverage(figures);
    EXPECT_NE(text.find("a.cpp  2/3  66%         1/2  50%         1/3  33%\n"), std::string::npos) << text;
    EXPECT_NE(text.find("b.cpp  0/0    -         0/0    -         0/0    -\n"), std::string::npos) << text;
    EXPECT_NE(text.find("never reached: 1 handler, 1 other function\n"
                        "  handler   A::timerCallback(int)  (a.cpp:4)\n"
                        "  function  A::helper(int)  (a.cpp:9)\n"),
              std::string::npos)
        << text;
}

TEST(CoverageFigures, OtherTextIsNoReport)
{
    for (const char* text : {"", "not json", "[]", R"({"files": 3})", R"({"files": [{"lines": 7}]})",
                             R"({"files": [{"lines": [{"count": "x"}]}]})"}) {
        CoverageFigures figures;
        std::string error;
        EXPECT_FALSE(readCoverageFigures(text, figures, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(CoverageFigures, HandlersAreTheFrameworksCallbacksOverridden)
{
    const struct {
        const char* name;
        bool handler;
    } cases[] = {
        {"Blinker::timerCallback(int)", true},
        {"ns::Panel::parentCallback(MessageView*)", true},
        {"(anonymous namespace)::Faulty::buttonCallback(ButtonView*)", true},
        {"Blinker::eventSixCallback(EventView*)", true},
        {"timerCallback(int)", false},              // a free function of that name
        {"Blinker::timerCallbackHelper(int)", false},
        {"Blinker::onTimer(int)", false},
        {"Blinker::timerCallback", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isEventHandler(c.name), c.handler) << c.name;
}

} // namespace
} // namespace zorv_host
