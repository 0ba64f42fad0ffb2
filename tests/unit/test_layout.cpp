// Layout files and the host's property store: what parses, the errors bad
// files give, and how "TP", "TG" and "XI" act on the controls.
#include <gtest/gtest.h>

#include <sstream>

#include "command_catalogue.h"
#include "layout.h"

using namespace zorv_host;

namespace {

std::optional<Layout> parseLayoutText(const std::string& text, std::string& error)
{
    std::istringstream in(text);
    return parseLayout(in, "p.zorv_ui", error);
}

const char* goodLayout = "zorv_ui 1\n"
                         "# a destination button\n"
                         "panel size=200,80\n"
                         "control Monitor button text=\"Mon \\\"A\\\"\" place=4,4 size=92,40 event=\"press=1\"\n"
                         "control Ident label text=DEST place=100,4 size=96,40 prop.statesheet=idle\n"
                         "control alm_a alarm text=A place=0,50 size=20,20\n"
                         "control alm_b alarm place=30,50 size=20,20   # trailing comment\n";

TEST(Layout, ReadsControlsInFileOrder)
{
    std::string error;
    std::optional<Layout> layout = parseLayoutText(goodLayout, error);
    ASSERT_TRUE(layout) << error;
    EXPECT_EQ(layout->version, 1);
    EXPECT_EQ(layout->width, 200);
    EXPECT_EQ(layout->height, 80);
    ASSERT_EQ(layout->controls.size(), 4u);
    const LayoutControl& monitor = layout->controls[0];
    EXPECT_EQ(monitor.id, "Monitor");
    EXPECT_EQ(monitor.kind, ControlKind::Button);
    EXPECT_EQ(monitor.text, "Mon \"A\"");
    EXPECT_EQ(monitor.event, "press=1");
    EXPECT_EQ(monitor.x, 4);
    EXPECT_EQ(monitor.width, 92);
    EXPECT_EQ(layout->controls[1].properties.at("statesheet"), "idle");
    EXPECT_EQ(layout->controls[3].kind, ControlKind::Alarm);
    EXPECT_EQ(layout->find("Ident"), &layout->controls[1]);
    EXPECT_EQ(layout->find("ident"), nullptr);
}

TEST(Layout, BadFilesSayWhereAndWhy)
{
    const std::string head = "zorv_ui 1\npanel size=100,100\n";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "p.zorv_ui: empty file"},
        {"# only a comment\n", "p.zorv_ui: empty file"},
        {"panel size=1,1\n", "p.zorv_ui:1: the first line must be \"zorv_ui 1\""},
        {"zorv_ui 2\n", "p.zorv_ui:1: layout format version \"2\" is not supported"},
        {"zorv_ui x\n", "p.zorv_ui:1: layout format version \"x\""},
        {"zorv_ui 1\n", "p.zorv_ui: no panel line"},
        {"zorv_ui 1\ncontrol A label place=0,0 size=1,1\n", "p.zorv_ui:2: the panel line must come before"},
        {"zorv_ui 1\npanel\n", "p.zorv_ui:2: the panel line needs size=W,H"},
        {"zorv_ui 1\npanel size=0,10\n", "p.zorv_ui:2: panel size is W,H"},
        {"zorv_ui 1\npanel size=10,10 colour=red\n", "p.zorv_ui:2: unknown panel setting \"colour\""},
        {head + "panel size=1,1\n", "p.zorv_ui:3: a second panel line"},
        {head + "widget A\n", "p.zorv_ui:3: unknown keyword \"widget\""},
        {head + "control A\n", "p.zorv_ui:3: a control line is"},
        {head + "control A slider place=0,0 size=1,1\n", "p.zorv_ui:3: unknown control kind \"slider\""},
        {head + "control A/B label place=0,0 size=1,1\n", "p.zorv_ui:3: control id \"A/B\""},
        {head + "control A label place=0,0 size=1,1\ncontrol A button place=0,0 size=1,1\n",
         "p.zorv_ui:4: control \"A\" appears twice"},
        {head + "control A label size=1,1\n", "p.zorv_ui:3: control \"A\" needs place=X,Y and size=W,H"},
        {head + "control A label place=0,0 size=0,1\n", "p.zorv_ui:3: size is W,H"},
        {head + "control A label place=-1,0 size=1,1\n", "p.zorv_ui:3: place is X,Y"},
        {head + "control A label place=1 size=1,1\n", "p.zorv_ui:3: place is X,Y"},
        {head + "control A label place=90,0 size=20,1\n", "p.zorv_ui:3: control \"A\" lies outside the panel"},
        {head + "control A label place=0,0 size=1,1 event=x\n", "p.zorv_ui:3: only a button has an event text"},
        {head + "control A label place=0,0 size=1,1 text\n", "p.zorv_ui:3: \"text\" needs a value"},
        {head + "control A label place=0,0 size=1,1 color=red\n", "p.zorv_ui:3: unknown control setting \"color\""},
        {head + "control A label place=0,0 size=1,1 text=\"open\n", "p.zorv_ui:3: unterminated quoted value"},
        {head + "control A label place=0,0 size=1,1 text=\"a\"b\n", "p.zorv_ui:3: a blank must follow"},
        {head + "control A label place=0,0 size=1,1 text=\"\\q\"\n", "p.zorv_ui:3: unknown escape \\q"},
        {head + "control A label =x place=0,0 size=1,1\n", "p.zorv_ui:3: a value without a key"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseLayoutText(c.text, error)) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << "got: " << error << "\nfor: " << c.text;
    }
}

TEST(Layout, ControlCountIsBounded)
{
    std::string text = "zorv_ui 1\npanel size=10,10\n";
    for (std::size_t i = 0; i <= layoutMaxControls; ++i)
        text += "control c" + std::to_string(i) + " label place=0,0 size=1,1\n";
    std::string error;
    EXPECT_FALSE(parseLayoutText(text, error));
    EXPECT_NE(error.find("more than 256 controls"), std::string::npos) << error;
}

TEST(Layout, MissingFileIsAnError)
{
    std::string error;
    EXPECT_FALSE(loadLayoutFile("/nonexistent/dir/mymon.zorv_ui", error));
    EXPECT_EQ(error, "/nonexistent/dir/mymon.zorv_ui: cannot be read");
}

TEST(ControlStore, PutGetAndListAct)
{
    std::string error;
    std::optional<Layout> layout = parseLayoutText(goodLayout, error);
    ASSERT_TRUE(layout) << error;
    ControlStore store(*layout);
    EXPECT_EQ(store.get("Ident", "statesheet"), std::optional<std::string>("statesheet=idle"));
    EXPECT_EQ(store.get("Ident", "text"), std::optional<std::string>("text=DEST"));
    EXPECT_EQ(store.get("Ident", "unset"), std::optional<std::string>("unset="));
    EXPECT_EQ(store.get("Nobody", "text"), std::nullopt);
    EXPECT_EQ(store.get("alm_b", "value"), std::optional<std::string>("value=0"));

    EXPECT_TRUE(store.put("Ident", "statesheet", "on air=1"));
    EXPECT_EQ(store.get("Ident", "statesheet"), std::optional<std::string>("statesheet=on air=1"));
    EXPECT_FALSE(store.put("Nobody", "text", "x"));
    EXPECT_FALSE(store.has("Nobody"));
    EXPECT_EQ(store.get("Ident", "all"), std::optional<std::string>("statesheet=on air=1\ntext=DEST"));

    EXPECT_EQ(store.list("alm_"), "alm_a,alm_b");
    EXPECT_EQ(store.list(""), "Monitor,Ident,alm_a,alm_b");
    EXPECT_EQ(store.list("zz"), "");
    EXPECT_EQ(store.list("Alm_"), "");
}

TEST(SplitCommand, EachVerbSplitsIntoItsFields)
{
    const struct {
        std::string line;
        bool ok;
        std::vector<std::string> fields;
    } cases[] = {
        {"PS '1' '/base/mymon.zorv_ui'", true, {"1", "/base/mymon.zorv_ui"}},
        {"PS '1' 'mymon.zorv_ui' 'x'", true, {"1", "mymon.zorv_ui", "x"}},
        {"TP 'statesheet=sel' '1' 'Ident'", true, {"statesheet=sel", "1", "Ident"}},
        {"TP 'text=a' 'b' '1' 'Ident'", true, {"text=a' 'b", "1", "Ident"}},
        {"TP '=' '' ''", true, {"=", "", ""}},
        {"TG '1' 'alm_a' 'value'", true, {"1", "alm_a", "value"}},
        {"XI '1' 'alm_'", true, {"1", "alm_"}},
        {"XI '1' ''", true, {"1", ""}},
        {"HN 'activate=3'", true, {"activate=3"}},
        {"HN 'it's'", true, {"it's"}},
        {"SD ''", true, {""}},
        {"ET 1 250", true, {"1", "250"}},
        {"ET -1", true, {"-1"}},
        {"RC 1 5 3 ',' 1", true, {"1", "5", "3", "", "1"}},
        {"RC -2 5 3 ',a b' 0", true, {"-2", "5", "3", "a b", "0"}},
        {"AS", true, {}},
        {"TP 'a' '1'", false, {}},
        {"TP a 1 Ident", false, {}},
        {"ET 1 x", false, {}},
        {"ET 1 2 3", false, {}},
        {"ET ", false, {}},
        {"RC 1 2 ',' 1", false, {}},
        {"RC 1 2 3 ',' 2", false, {}},
        {"SD", false, {}},
        {"ZZ 'x'", false, {}},
        {"HN 'open", false, {}},
    };
    for (const auto& c : cases) {
        std::string verb;
        std::vector<std::string> fields;
        EXPECT_EQ(splitCommand(c.line, verb, fields), c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(verb, c.line.substr(0, 2));
            EXPECT_EQ(fields, c.fields) << c.line;
        }
    }
}

} // namespace
