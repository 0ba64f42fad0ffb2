// The validator's results are typed: a check's status and the kind of what
// it found are enums, each with one stable name that the text output, the
// JSON, JUnit and the child's report lines all use, and that reads back to
// the same value.
#include <optional>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "guarded_memory.h"
#include "rule_break.h"
#include "validator.h"

namespace zorv_host {
namespace {

// Every enumerator of ResultKind, from the lists that make it.
std::vector<ResultKind> everyResultKind()
{
    return {ResultKind::none,
#define ZORV_LISTED(enumerator, name) ResultKind::enumerator,
            ZORV_VALIDATOR_FINDINGS(ZORV_LISTED) ZORV_RULE_BREAK_KINDS(ZORV_LISTED)
                ZORV_MEMORY_FAULT_KINDS(ZORV_LISTED)
#undef ZORV_LISTED
    };
}

TEST(ResultKinds, EachHasOneNameOfItsOwnThatReadsBack)
{
    std::set<std::string> names;
    for (ResultKind kind : everyResultKind()) {
        const std::string name = resultKindName(kind);
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_EQ(resultKindFromName(name), kind) << name;
        if (kind != ResultKind::none) {
            EXPECT_FALSE(name.empty());
            EXPECT_EQ(name.find_first_not_of("abcdefghijklmnopqrstuvwxyz_"), std::string::npos) << name;
        }
    }
    EXPECT_EQ(resultKindName(ResultKind::none), std::string());
    EXPECT_FALSE(resultKindFromName("Unknown_Verb"));
    EXPECT_FALSE(resultKindFromName("hung"));
}

TEST(ResultKinds, RuleBreaksAndMemoryFaultsKeepTheirNames)
{
    for (int k = 0; k <= static_cast<int>(RuleBreakKind::farSide); ++k) {
        const auto kind = static_cast<RuleBreakKind>(k);
        EXPECT_STREQ(resultKindName(resultKindOf(kind)), ruleBreakKindName(kind));
        EXPECT_EQ(ruleBreakKindFromName(ruleBreakKindName(kind)), kind);
    }
    for (int k = 0; k <= static_cast<int>(guarded::FaultKind::wroteLentMemory); ++k) {
        const auto kind = static_cast<guarded::FaultKind>(k);
        EXPECT_STREQ(resultKindName(resultKindOf(kind)), guarded::faultKindName(kind));
        EXPECT_EQ(guarded::faultKindFromName(guarded::faultKindName(kind)), kind);
    }
    // The names the JSON has always shown.
    EXPECT_STREQ(resultKindName(ResultKind::loadFailed), "load_failed");
    EXPECT_STREQ(resultKindName(ResultKind::hang), "hang");
    EXPECT_STREQ(resultKindName(ResultKind::crash), "crash");
    EXPECT_STREQ(resultKindName(ResultKind::processEnded), "process_ended");
    EXPECT_STREQ(resultKindName(ResultKind::sentOnIgnoredCode), "sent_on_ignored_code");
    EXPECT_STREQ(resultKindName(ResultKind::ambiguousLine), "ambiguous_line");
    EXPECT_STREQ(resultKindName(ResultKind::undeclaredEvent), "undeclared_event");
    EXPECT_STREQ(resultKindName(ResultKind::detachedEarly), "detached_early");
    EXPECT_STREQ(resultKindName(ResultKind::detachCount), "detach_count");
    EXPECT_STREQ(resultKindName(ResultKind::layoutUnread), "layout_unread");
    EXPECT_STREQ(resultKindName(ResultKind::unknownVerb), "unknown_verb");
    EXPECT_STREQ(resultKindName(ResultKind::readRetiredMemory), "read_retired_memory");
}

TEST(ResultKinds, AStatusReadsBackFromItsWord)
{
    for (CheckStatus status : {CheckStatus::pass, CheckStatus::fail, CheckStatus::skip, CheckStatus::warn})
        EXPECT_EQ(checkStatusFromName(checkStatusName(status)), status);
    EXPECT_STREQ(checkStatusName(CheckStatus::pass), "PASS");
    EXPECT_STREQ(checkStatusName(CheckStatus::fail), "FAIL");
    EXPECT_STREQ(checkStatusName(CheckStatus::skip), "SKIP");
    EXPECT_STREQ(checkStatusName(CheckStatus::warn), "WARN");
    for (const char* word : {"", "pass", "PASSED", "FAIL ", "OK"})
        EXPECT_FALSE(checkStatusFromName(word)) << word;
}

TEST(CheckVerdicts, EveryStatusAndKindReadsBackWithItsReasonAndCause)
{
    const std::string reasons[] = {"", "reply to \"SD 'x'\" was never handed back",
                                   "two\nlines\r\tand \xc3\xa9 \\ verdict PASS - \"\" \"\""};
    for (CheckStatus status : {CheckStatus::pass, CheckStatus::fail, CheckStatus::skip, CheckStatus::warn})
        for (ResultKind kind : everyResultKind())
            for (const std::string& reason : reasons)
                for (const std::string& cause : {std::string(), reasons[1], reasons[2]}) {
                    const std::string line = checkVerdictLine({status, reason, kind, cause});
                    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
                    std::optional<CheckVerdict> read = readCheckVerdict(line);
                    ASSERT_TRUE(read) << line;
                    EXPECT_EQ(read->status, status) << line;
                    EXPECT_EQ(read->kind, kind) << line;
                    EXPECT_EQ(read->reason, reason) << line;
                    EXPECT_EQ(read->cause, cause) << line;
                }
    EXPECT_EQ(checkVerdictLine({CheckStatus::warn, "x y", ResultKind::none}), "verdict WARN - \"x y\" \"\"");
    EXPECT_EQ(checkVerdictLine({CheckStatus::fail, "at 3: z", ResultKind::hang, "z"}),
              "verdict FAIL hang \"at 3: z\" \"z\"");
}

TEST(CheckVerdicts, AnythingButAWholeVerdictIsNone)
{
    for (const char* line : {"", "verdict", "verdict PASS", "verdict PASS -", "verdict PASS - ", "verdict PASS - x",
                             "verdict PASS - \"x", "verdict PASS - \"x\" y", "verdict PASSED - \"\"",
                             "verdict pass - \"\"", "verdict PASS none \"\"", "verdict PASS hung \"\"",
                             "verdict PASS  - \"\"", " verdict PASS - \"\"", "verdict\tPASS - \"\"",
                             "verdicts PASS - \"\"", "RESULT PASS", "KIND hang", "verdict PASS \"\" -",
                             "verdict PASS - \"\"", "verdict PASS - \"\" ", "verdict PASS - \"\"  \"\"",
                             "verdict PASS - \"\" \"\" \"\"", "verdict PASS - \"\" x"})
        EXPECT_FALSE(readCheckVerdict(line)) << line;
}

} // namespace
} // namespace zorv_host
