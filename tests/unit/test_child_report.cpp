// Reading what a child process wrote: its tagged lines and the crash
// reporter's sentence, which the validator and check both rely on.
#include "child_process.h"

#include <gtest/gtest.h>

using zorv_host::ChildOutcome;
using zorv_host::componentReport;
using zorv_host::finalLine;
using zorv_host::taggedLine;

TEST(ChildReport, ATaggedLineCountsOnlyAtTheStartOfALine)
{
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"RESULT PASS\n", "PASS"},
        {"noise\nRESULT FAIL why\r\n", "FAIL why"},
        {"echo RESULT PASS\n", ""},                        // printed by the component mid-line
        {"RESULT FAIL first\nRESULT PASS last\n", "PASS last"},
        {"x RESULT PASS\nRESULT FAIL real\nmore RESULT PASS", "FAIL real"},
        {"RESULT ", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(taggedLine(c.text, "RESULT "), c.expected) << c.text;
}

TEST(ChildReport, TheLineMustBeginBeforeTheLimit)
{
    const std::string text = "KIND early\nRESULT FAIL x\nKIND late\n";
    EXPECT_EQ(taggedLine(text, "KIND ", text.find("RESULT")), "early");
    EXPECT_EQ(taggedLine(text, "KIND ", 0), "early");
    EXPECT_EQ(taggedLine("a\nKIND x\n", "KIND ", 1), "");
}

TEST(ChildReport, TheCrashSentenceAndTheKindBeforeIt)
{
    struct Case {
        const char* err;
        const char* sentence;
        const char* kind;
    } cases[] = {
        {"! component crashed (SIGSEGV) during: press 1:2\n", "component crashed (SIGSEGV) during: press 1:2", ""},
        {"! kind wrote_lent_memory\n! component wrote into the host's message text during parent \"a=1\"\n",
         "component wrote into the host's message text during parent \"a=1\"", "wrote_lent_memory"},
        {"warning: x\n! component crashed (abort) during: timer 3\r\nAddressSanitizer: more\n",
         "component crashed (abort) during: timer 3", ""},
        {"the component said ! component fine\n", "", ""},
        {"! kind read_past_end\n", "", ""},                 // a kind alone is no report
        {"", "", ""},
    };
    for (const Case& c : cases) {
        ChildOutcome child;
        child.err = c.err;
        zorv_host::ComponentReport report = componentReport(child.err);
        EXPECT_EQ(report.sentence, c.sentence) << c.err;
        EXPECT_EQ(report.kind ? zorv_host::guarded::faultKindName(*report.kind) : "", std::string(c.kind)) << c.err;
    }
}

TEST(ChildReport, TheFinalLineOfARecordStreamAndWhereItStarts)
{
    struct Case {
        const char* text;
        const char* line;   // null: no final line
        std::size_t start;
    } cases[] = {
        {"verdict PASS - \"\"\n", "verdict PASS - \"\"", 0},
        {"> PS '1'\n< null\noutcome 0 0 0 0\n", "outcome 0 0 0 0", 16},
        {"a\r\nb\r\n", "b", 3},
        {"\n", "", 0},
        {"a\n\n", "", 2},
        {"outcome 0 0 0 0", nullptr, 0},   // cut off before its line end
        {"a\nb", nullptr, 0},
        {"", nullptr, 0},
    };
    for (const Case& c : cases) {
        std::size_t start = 99;
        std::optional<std::string> line = finalLine(c.text, start);
        ASSERT_EQ(line.has_value(), c.line != nullptr) << c.text;
        if (line) {
            EXPECT_EQ(*line, c.line) << c.text;
            EXPECT_EQ(start, c.start) << c.text;
        }
    }
}

TEST(ChildReport, ARecordsCountIsPlainDigitsThatAnIntHolds)
{
    using zorv_host::recordCount;
    EXPECT_EQ(recordCount("0"), 0);
    EXPECT_EQ(recordCount("007"), 7);
    EXPECT_EQ(recordCount("999999999"), 999999999);
    for (const char* bad : {"", "-1", "+1", " 1", "1 ", "1x", "0x10", "1000000000", "99999999999"})
        EXPECT_EQ(recordCount(bad), std::nullopt) << '"' << bad << '"';
}
