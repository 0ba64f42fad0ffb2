// The command catalogue is what the shape check, the splitter, the bridge and
// the simulated host's books all read: a line built from any entry must pass
// each of them the way the entry says.
#include <set>

#include <gtest/gtest.h>

#include "bridge.h"
#include "command_catalogue.h"
#include "layout.h"
#include "sim_host.h"
#include "zorv_plugin_entry.h"

namespace zorv_host {
namespace {

// A sample of each argument kind, and what the splitter gives back for it.
std::string sample(CommandArg arg, bool quotedForm)
{
    switch (arg) {
    case CommandArg::text: return quotedForm ? "'a b'" : "a b";
    case CommandArg::assignment: return quotedForm ? "'k=v'" : "k=v";
    case CommandArg::number: return "-12";
    case CommandArg::list: return quotedForm ? "',x,y'" : "x,y";   // split without its leading separator
    case CommandArg::flag: return "1";
    }
    return "";
}

std::string lineOf(const CommandVerb& verb, std::size_t argCount)
{
    std::string line = verb.verb;
    for (std::size_t i = 0; i < argCount; ++i)
        line += " " + sample(verb.args[i], true);
    return line;
}

TEST(CommandCatalogue, EntriesAreDistinctTwoLetterVerbs)
{
    std::set<std::string> seen;
    for (const CommandVerb& verb : commandVerbs()) {
        EXPECT_EQ(verb.verb.size(), 2u) << verb.verb;
        EXPECT_TRUE(seen.insert(verb.verb).second) << verb.verb << " twice";
        EXPECT_LE(verb.optional, verb.args.size()) << verb.verb;
        EXPECT_FALSE(verb.query && verb.token) << verb.verb << ": a result is either lent or kept";
        EXPECT_EQ(verb.query, !verb.sampleReply.empty() && !verb.token) << verb.verb << ": a query needs a sample reply";
        EXPECT_EQ(findCommandVerb(verb.verb + " whatever"), &verb);
        EXPECT_FALSE(verb.meaning.empty()) << verb.verb;
    }
    EXPECT_EQ(seen, (std::set<std::string>{"PS", "TP", "TG", "RC", "ET", "HN", "SD", "XI", "AS"}));
    EXPECT_EQ(findCommandVerb("ZZ 'x'"), nullptr);
    EXPECT_EQ(findCommandVerb("P"), nullptr);
    EXPECT_EQ(findCommandVerb(""), nullptr);
}

TEST(CommandCatalogue, EveryEntrysLinesPassTheShapeCheckAndSplitIntoItsArguments)
{
    for (const CommandVerb& verb : commandVerbs()) {
        for (std::size_t count = verb.args.size() - verb.optional; count <= verb.args.size(); ++count) {
            const std::string line = lineOf(verb, count);
            EXPECT_EQ(commandShapeError(line), "") << line;
            EXPECT_EQ(quoteAmbiguity(line), "") << line;
            std::string split;
            std::vector<std::string> fields;
            ASSERT_TRUE(splitCommand(line, split, fields)) << line;
            EXPECT_EQ(split, verb.verb);
            ASSERT_EQ(fields.size(), count) << line;
            for (std::size_t i = 0; i < count; ++i)
                EXPECT_EQ(fields[i], sample(verb.args[i], false)) << line << " argument " << i;
        }
        // One argument too few, one too many: malformed, and no split.
        std::vector<std::string> wrong;
        if (verb.args.size() > verb.optional)
            wrong.push_back(lineOf(verb, verb.args.size() - verb.optional - 1));
        wrong.push_back(lineOf(verb, verb.args.size()) + " -3");
        for (const std::string& line : wrong) {
            EXPECT_EQ(commandShapeError(line), "malformed " + verb.verb + " command \"" + escapeText(line) + "\"");
            std::string split;
            std::vector<std::string> fields;
            EXPECT_FALSE(splitCommand(line, split, fields)) << line;
        }
    }
}

// What the host gives back for each verb, written out by hand rather than
// read from the catalogue, whose flags the bridge and the simulated host
// themselves read: a wrong flag there must fail here.
enum class Result {
    nothing,   // no result: the bridge passes the line on as a command
    lent,      // a query's reply: the bridge asks, the component hands it back with code 5
    kept,      // a token: the bridge asks, the host keeps it ("OK" without a rule)
};

const struct ByHand {
    std::string line;
    Result result;
} byHand[] = {
    {"PS '1' 'mymon.zorv_ui'", Result::kept},
    {"PS '1' 'mymon.zorv_ui' 'x'", Result::kept},
    {"TP 'statesheet=on' '1' 'Ident'", Result::nothing},
    {"TG '1' 'Ident' 'text'", Result::lent},
    {"RC 12 5 3 ',' 1", Result::nothing},
    {"ET 1 250", Result::nothing},
    {"ET 1", Result::nothing},
    {"HN 'clearsource=-1'", Result::nothing},
    {"SD 'DEST1'", Result::lent},
    {"XI '1' 'alm_'", Result::lent},
    {"AS", Result::nothing},
};

TEST(CommandCatalogue, TheTableByHandCoversEveryVerbAndAgreesWithTheEntries)
{
    std::set<std::string> covered;
    for (const ByHand& c : byHand) {
        const CommandVerb* verb = findCommandVerb(c.line);
        ASSERT_NE(verb, nullptr) << c.line;
        covered.insert(verb->verb);
        EXPECT_EQ(commandShapeError(c.line), "") << c.line;
        EXPECT_EQ(verb->query, c.result == Result::lent) << c.line;
        EXPECT_EQ(verb->token, c.result == Result::kept) << c.line;
    }
    std::set<std::string> all;
    for (const CommandVerb& verb : commandVerbs())
        all.insert(verb.verb);
    EXPECT_EQ(covered, all) << "a verb of the catalogue is missing from the table by hand";
}

// The bridge asks its far side for exactly the lines that have a result.
TEST(CommandCatalogue, TheBridgeAsksForQueriesAndTokensOnly)
{
    for (const ByHand& c : byHand)
        EXPECT_EQ(bridgeAsks(c.line), c.result != Result::nothing) << c.line;
    for (const char* line : {"", "P", "ZZ 'x'", "ps '1' 'a'"})
        EXPECT_FALSE(bridgeAsks(line)) << line;
}

// The host's books: a query's reply must come back with code 5, a token's
// result must not (and a token without a rule is "OK"), and the rest have
// no result at all.
TEST(CommandCatalogue, TheSimulatedHostLendsQueryRepliesAndKeepsTokens)
{
    for (const ByHand& c : byHand) {
        SimHost bare;   // no rule: what the host answers of itself
        const char* own = bare.callback(const_cast<char*>(c.line.c_str()), zorv_code::command);
        EXPECT_EQ(bare.outstandingReplies(), 0u) << c.line;
        SimHost host;   // a rule that answers the line
        host.addRule(c.line.substr(0, 2) + " *", std::string("answer"));
        const char* result = nullptr;
        switch (c.result) {
        case Result::nothing:
            EXPECT_EQ(own, nullptr) << c.line;
            break;
        case Result::lent:
            result = host.callback(const_cast<char*>(c.line.c_str()), zorv_code::command);
            ASSERT_NE(result, nullptr) << c.line;
            EXPECT_STREQ(result, "answer") << c.line;
            EXPECT_EQ(own, nullptr) << c.line;
            EXPECT_EQ(host.outstandingReplies(), 1u) << c.line;
            host.callback(const_cast<char*>(result), zorv_code::release);
            EXPECT_EQ(host.outstandingReplies(), 0u) << c.line;
            break;
        case Result::kept:
            result = host.callback(const_cast<char*>(c.line.c_str()), zorv_code::command);
            ASSERT_NE(result, nullptr) << c.line;
            EXPECT_STREQ(result, "answer") << c.line;
            ASSERT_NE(own, nullptr) << c.line;
            EXPECT_STREQ(own, "OK") << c.line;
            EXPECT_EQ(host.outstandingReplies(), 0u) << c.line;
            break;
        }
        EXPECT_TRUE(host.takeNotes().empty()) << c.line;
        EXPECT_TRUE(bare.takeNotes().empty()) << c.line;
    }
}

} // namespace
} // namespace zorv_host
