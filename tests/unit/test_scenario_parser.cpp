// zorv-host's scenario files: what parses, and the errors bad lines give.
#include <gtest/gtest.h>

#include <sstream>

#include "scenario.h"
#include "sim_host.h"

using namespace zorv_host;

namespace {

std::optional<Scenario> parse(const std::string& text, std::string& error)
{
    std::istringstream in(text);
    return parseScenario(in, "s.scn", error);
}

TEST(ScenarioParser, ReadsEveryKindOfLine)
{
    std::string error;
    std::optional<Scenario> s = parse("# comment\n"
                                      "host SD 'A B' -> \"1 2\"\n"
                                      "host PS * -> null\n"
                                      "host reset\n"
                                      "create \"/p q\" nohost\n"
                                      "\n"
                                      "parent \"a=b c\\n\\x41\"\n"
                                      "> SD 'A B'\n"
                                      "< null\n"
                                      "parent null\n"
                                      "button 1 Monitor press=1\n"
                                      "timer -3\n"
                                      "event 6 0x10\n"
                                      "event 5 null\n"
                                      "destroy\n"
                                      "! a note\n",
                                      error);
    ASSERT_TRUE(s) << error;
    ASSERT_EQ(s->steps.size(), 11u);
    EXPECT_EQ(s->steps[0].action, Action::HostRule);
    EXPECT_EQ(s->steps[0].pattern, "SD 'A B'");
    EXPECT_EQ(s->steps[0].text, std::string("1 2"));
    EXPECT_EQ(s->steps[1].text, std::nullopt);
    EXPECT_EQ(s->steps[2].action, Action::HostReset);
    EXPECT_EQ(s->steps[3].text, std::string("/p q"));
    EXPECT_FALSE(s->steps[3].withHost);
    EXPECT_EQ(s->steps[4].text, std::string("a=b c\nA"));
    EXPECT_EQ(s->steps[4].line, 7);
    EXPECT_EQ(s->steps[4].expected, (std::vector<std::string>{"> SD 'A B'", "< null"}));
    EXPECT_EQ(s->steps[5].text, std::nullopt);
    EXPECT_EQ(s->steps[6].control, "Monitor");
    EXPECT_EQ(s->steps[6].eventText, "press=1");
    EXPECT_EQ(s->steps[7].number, -3);
    EXPECT_EQ(s->steps[8].data, 16);
    EXPECT_EQ(s->steps[10].expected, std::vector<std::string>{"! a note"});
}

TEST(ScenarioParser, BadLinesNameTheirLine)
{
    struct Case { const char* text; const char* error; };
    const Case cases[] = {
        {"create\nfrobnicate 1\n",
         "s.scn:2: unknown keyword \"frobnicate\" (event lines start with host, create, parent, button, timer, "
         "event or destroy)"},
        {"create\nparnet x=1\n", "s.scn:2: unknown keyword \"parnet\" (did you mean \"parent\"?)"},
        {"create\ntimmer 1\n", "s.scn:2: unknown keyword \"timmer\" (did you mean \"timer\"?)"},
        {"create\n>PS '1' 'x'\n", "s.scn:2: \">PS '1' 'x'\": an expected line needs a blank after '>' (\"> PS '1' 'x'\")"},
        {"create\n<null\n", "s.scn:2: \"<null\": an expected line needs a blank after '<' (\"< null\")"},
        {"> AS\n", "s.scn:1: an expected line needs an event before it"},
        {"create\nparent\n", "s.scn:2: parent needs a message text (or null)"},
        {"create\nparent \"open\n", "s.scn:2: unterminated quoted text"},
        {"create\nparent \"\\q\"\n", "s.scn:2: unknown escape \\q"},
        {"create\nparent \"\\x4\"\n", "s.scn:2: \\x needs two hex digits"},
        {"create\nparent a b\n", "s.scn:2: unexpected \"b\" at the end of the line"},
        {"create\ntimer\n", "s.scn:2: timer needs a 32-bit integer"},
        {"create\ntimer 4294967296\n", "s.scn:2: timer needs a 32-bit integer"},
        {"create\ntimer 1 2\n", "s.scn:2: timer takes one number"},
        {"create\nevent 3 text\n", "s.scn:2: event data is an integer or null"},
        {"create\nbutton 1\n", "s.scn:2: button needs a panel and a control"},
        {"create x extra\n", "s.scn:1: create takes a path and the option nohost"},
        {"host SD *\n", "s.scn:1: host lines are: host PATTERN -> \"REPLY\" | null, or host reset"},
        {"host SD * -> bare\n", "s.scn:1: a host reply is a quoted text or null"},
        {"host  -> null\n", "s.scn:1: host rule without a pattern"},
        {"destroy now\n", "s.scn:1: unexpected \"now\" at the end of the line"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(parse(c.text, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(GlobMatch, MatchesRunsOfAnyCharacters)
{
    struct Case { const char* pattern; const char* text; bool match; };
    const Case cases[] = {
        {"SD *", "SD 'x'", true},          {"SD 'x'", "SD 'x'", true},     {"SD 'x'", "SD 'y'", false},
        {"*", "", true},                   {"TG * 'value'", "TG '1' 'a' 'value'", true},
        {"TG * 'value'", "TG '1' 'a' 'alarm'", false},                    {"a*b*c", "aXbYbZc", true},
        {"a*b", "a", false},               {"", "", true},                   {"", "x", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(globMatch(c.pattern, c.text), c.match) << c.pattern << " ~ " << c.text;
}

TEST(CommandShapes, KnowsEveryVerb)
{
    struct Case { const char* line; bool ok; };
    const Case cases[] = {
        {"PS '1' 'mymon.zorv_ui'", true},     {"PS '1' 'a' 'b'", true},        {"PS '1'", false},
        {"TP 'statesheet=x' '1' 'Ident'", true}, {"TP 'noequals' '1' 'Ident'", false},
        {"TG '1' 'c' 'value'", true},         {"RC 12 5 3 ',' 1", true},       {"RC 12 5 3 '' 1", false},
        {"RC 1 2 3 ',' 2", false},            {"ET 1 250", true},              {"ET -1", true},
        {"ET", false},                        {"HN 'activate=3'", true},       {"HN activate", false},
        {"SD 'x y'", true},                   {"XI '1' 'alm_'", true},         {"AS", true},
        {"AS now", false},                    {"ZZ 'x'", false},               {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(commandShapeError(c.line).empty(), c.ok) << c.line << ": " << commandShapeError(c.line);
}

} // namespace
