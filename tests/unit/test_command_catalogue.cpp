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
            EXPECT_EQ(bridgeAsks(line), verb.answered()) << line;
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

// The host's books follow the entry: a query's reply must come back with
// code 5, a token's result must not, and a token without a rule is "OK".
TEST(CommandCatalogue, TheSimulatedHostLendsQueryRepliesAndKeepsTokens)
{
    for (const CommandVerb& verb : commandVerbs()) {
        if (!verb.answered())
            continue;
        SimHost host;
        std::string line = lineOf(verb, verb.args.size());
        if (verb.query)
            host.addRule(verb.verb + " *", verb.sampleReply);
        const char* result = host.callback(const_cast<char*>(line.c_str()), zorv_code::command);
        ASSERT_NE(result, nullptr) << line;
        if (verb.token) {
            EXPECT_STREQ(result, "OK") << line;
            EXPECT_EQ(host.outstandingReplies(), 0u) << line;
        } else {
            EXPECT_EQ(std::string(result), verb.sampleReply);
            EXPECT_EQ(host.outstandingReplies(), 1u) << line;
            host.callback(const_cast<char*>(result), zorv_code::release);
            EXPECT_EQ(host.outstandingReplies(), 0u) << line;
        }
        EXPECT_TRUE(host.takeNotes().empty()) << line;
    }
}

} // namespace
} // namespace zorv_host
