// A component's own vocabulary for validate and soak: declared words and
// their values, declared notifications, --controls, scenarios and the
// layouts a component shows; and the host's findings on the lines it sends
// (a quote inside a text argument, a command text without its NUL).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim_host.h"
#include "test_folder.h"
#include "paths.h"
#include "vocabulary.h"

#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif

using namespace zorv_host;

namespace {

using Lines = std::vector<std::string>;

TEST(Vocabulary, DeclaredEntriesBecomeMessages)
{
    struct Case {
        const char* entry;
        Lines messages;
    };
    const Case cases[] = {
        {"source=[value]", {"source=1", "source=42", "source=0", "source=-1", "source=", "source=text", "source=it's"}},
        {"label=[text]", {"label=1", "label=42", "label=0", "label=-1", "label=", "label=text", "label=it's"}},
        {"go", {"go"}},
        {"mode=fast", {"mode=fast"}},
        {"pair=[a],[b]", {"pair=1,1", "pair=42,42", "pair=0,0", "pair=-1,-1", "pair=,", "pair=text,text",
                          "pair=it's,it's"}},
        {"odd=[Value]", {"odd=[Value]"}},   // no marker: not a lower-case word
        {"empty=[]", {"empty=[]"}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(messagesOfEntry(c.entry), c.messages) << c.entry;
}

TEST(Vocabulary, DeclaredNotificationsMatchByPatternAndMarker)
{
    const Lines declared = {"activate=*", "clearsource=-1", "level=[value]"};
    struct Case {
        const char* text;
        bool declared;
    };
    const Case cases[] = {{"activate=3", true},     {"activate=", true},      {"clearsource=-1", true},
                          {"clearsource=0", false}, {"level=9", true},        {"activatex=1", false},
                          {"surprise=1", false},    {"", false}};
    for (const Case& c : cases)
        EXPECT_EQ(isDeclaredEvent(declared, c.text), c.declared) << c.text;
    EXPECT_FALSE(isDeclaredEvent({}, "activate=1"));
}

TEST(Vocabulary, ControlListsAreReadOrRefusedWithTheBadPiece)
{
    struct Case {
        const char* text;
        Lines controls;   // "panel/id" each; empty with an error expected
        const char* error;
    };
    const Case cases[] = {
        {"1:Fire", {"1/Fire"}, ""},
        {"1:Fire,2:Ack all", {"1/Fire", "2/Ack all"}, ""},
        {"1:a:b", {"1/a:b"}, ""},
        {"1", {}, "\"1\" is not PANEL:ID"},
        {"1:Fire,", {}, "\"\" is not PANEL:ID"},
        {":Fire", {}, "\":Fire\" is not PANEL:ID"},
        {"1:", {}, "\"1:\" is not PANEL:ID"},
        {"", {}, "\"\" is not PANEL:ID"},
    };
    for (const Case& c : cases) {
        std::vector<PanelControl> controls;
        std::string error;
        bool ok = parseControlList(c.text, controls, error);
        EXPECT_EQ(ok, c.error[0] == '\0') << c.text;
        if (!ok) {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
            continue;
        }
        Lines seen;
        for (const PanelControl& control : controls) {
            seen.push_back(control.panel + "/" + control.control);
            EXPECT_EQ(control.origin, "from --controls");
        }
        EXPECT_EQ(seen, c.controls) << c.text;
    }
}

TEST(Vocabulary, ScenariosGiveTheirEventsAndHostRulesOnce)
{
    std::istringstream in("host SD * -> \"1 2\"\n"
                          "create\n"
                          "parent source=3\n"
                          "parent source=3\n"
                          "parent null\n"
                          "button 1 Fire \"fire=1\"\n"
                          "button 1 Fire \"fire=1\"\n"
                          "button 2 Ack\n"
                          "timer 4\n"
                          "timer 4\n"
                          "host TG * -> null\n"
                          "event 8 1\n"
                          "destroy\n");
    std::string error;
    std::optional<Scenario> scenario = parseScenario(in, "own.scn", error);
    ASSERT_TRUE(scenario) << error;
    Vocabulary vocabulary;
    addScenario(vocabulary, *scenario);
    EXPECT_EQ(vocabulary.messages, Lines{"source=3"});
    ASSERT_EQ(vocabulary.controls.size(), 2u);
    EXPECT_EQ(vocabulary.controls[0].control, "Fire");
    EXPECT_EQ(vocabulary.controls[0].eventText, "fire=1");
    EXPECT_EQ(vocabulary.controls[0].origin, "from own.scn:6");
    EXPECT_EQ(vocabulary.controls[1].panel, "2");
    EXPECT_EQ(vocabulary.timers, std::vector<int>{4});
    ASSERT_EQ(vocabulary.hostRules.size(), 2u);
    EXPECT_EQ(vocabulary.hostRules[0].pattern, "SD *");
    EXPECT_EQ(vocabulary.hostRules[0].reply, std::optional<std::string>("1 2"));
    EXPECT_EQ(vocabulary.hostRules[1].reply, std::nullopt);
}

TEST(Vocabulary, BadSourcesAreRefused)
{
    Vocabulary vocabulary;
    std::string error;
    EXPECT_FALSE(loadVocabularySources({{"1:A", "x"}, {}}, vocabulary, error));
    EXPECT_NE(error.find("\"x\" is not PANEL:ID"), std::string::npos) << error;
    EXPECT_FALSE(loadVocabularySources({{}, {"/nonexistent/own.scn"}}, vocabulary, error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos) << error;
}

// A folder of its own with files in it, removed at the end.
struct Folder {
    std::string path;
    Folder()
    {
        std::string name = zorv_test::inProcessFolder("vocabulary-XXXXXX");
        path = mkdtemp(name.data()) ? name : "";
    }
    ~Folder()
    {
        for (const std::string& file : files)
            std::remove(file.c_str());
        rmdir(path.c_str());
    }
    void write(const std::string& name, const std::string& text)
    {
        files.push_back(path + "/" + name);
        std::ofstream(files.back()) << text;
    }
    std::vector<std::string> files;
};

TEST(Vocabulary, ShownLayoutsGiveTheirButtonsWithEventTexts)
{
    Folder folder;
    ASSERT_FALSE(folder.path.empty());
    folder.write("own.zorv_ui", "zorv_ui 1\n"
                                "panel size=200,80\n"
                                "control Fire button text=Fire place=0,0 size=50,20 event=\"fire=1\"\n"
                                "control Title label text=T place=60,0 size=50,20\n"
                                "control Stop button text=Stop place=0,30 size=50,20\n");
    folder.write("broken.zorv_ui", "not a layout\n");
    const Lines commands = {"PS '1' 'C:/panels/own.zorv_ui'",   // found by its file name beside the library
                            "PS '2' 'own.zorv_ui' 'extra'",     // relative to the library's folder
                            "PS '3' 'broken.zorv_ui'",          // no layout: nothing
                            "PS '4' 'missing.zorv_ui'",         // not there: nothing
                            "TP 'text=own.zorv_ui' '1' 'Fire'", "HN 'PS '5' 'own.zorv_ui''"};
    Vocabulary vocabulary;
    addShownLayouts(vocabulary, commands, folder.path);
    Lines seen;
    for (const PanelControl& control : vocabulary.controls)
        seen.push_back(control.panel + " " + control.control + " \"" + control.eventText + "\" " + control.origin);
    EXPECT_EQ(seen, (Lines{"1 Fire \"fire=1\" from the layout own.zorv_ui", "1 Stop \"\" from the layout own.zorv_ui",
                           "2 Fire \"fire=1\" from the layout own.zorv_ui",
                           "2 Stop \"\" from the layout own.zorv_ui"}));
    EXPECT_EQ(vocabulary.layouts, Lines{folder.path + "/own.zorv_ui"});
    EXPECT_EQ(vocabulary.unreadLayouts,
              (Lines{"the layout \"broken.zorv_ui\" shown on panel 3 cannot be read: " + folder.path
                         + "/broken.zorv_ui:1: " + "the first line must be \"zorv_ui 1\"",
                     "the layout \"missing.zorv_ui\" shown on panel 4 is not there (looked for " + folder.path
                         + "/missing.zorv_ui)"}));
    addShownLayouts(vocabulary, commands, folder.path);   // the same layouts again add nothing
    EXPECT_EQ(vocabulary.controls.size(), 4u);
    EXPECT_EQ(vocabulary.unreadLayouts.size(), 2u);
}

TEST(Vocabulary, FolderOfALibrary)
{
    EXPECT_EQ(folderOf("build/bin/Selvarin.so"), "build/bin");
    EXPECT_EQ(folderOf("Selvarin.so"), ".");
    EXPECT_EQ(folderOf("/Selvarin.so"), "/");
    EXPECT_EQ(folderOf("C:\\panels\\Selvarin.dll"), "C:\\panels");
}

TEST(CommandLines, AQuoteInsideATextArgumentIsAmbiguous)
{
    struct Case {
        const char* line;
        bool ambiguous;
    };
    const Case cases[] = {
        {"TP 'text=its' '1' 'Label'", false},
        {"TP 'text=it's' '1' 'Label'", true},
        {"TP 'text=' '1' 'Label'", false},
        {"HN 'activate=3'", false},
        {"HN 'it's'", true},
        {"HN ''''", true},
        {"SD 'a'b'", true},
        {"TG '1' 'Label' 'text'", false},
        {"XI '1' 'alm_'", false},
        {"XI '1' 'alm_''", true},
        {"PS '1' 'mymon.zorv_ui'", false},
        {"PS '1' 'mymon.zorv_ui' 'extra'", false},
        {"PS '1' 'my'mon.zorv_ui'", true},
        {"RC 1 2 3 ',tail' 1", false},
        {"RC 1 2 3 ',ta'il' 1", true},
        {"ET 1 500", false},
        {"AS", false},
        {"XX 'it's'", false},   // no known shape: malformed, not ambiguous
    };
    for (const Case& c : cases) {
        std::string finding = quoteAmbiguity(c.line);
        EXPECT_EQ(!finding.empty(), c.ambiguous) << c.line << ": " << finding;
        if (c.ambiguous) {
            EXPECT_EQ(finding, std::string("line ") + c.line + " holds a quote inside a text argument");
        }
    }
}

TEST(CommandLines, TheHostKeepsAmbiguousLinesAsWarningsWithTheirEvent)
{
    SimHost host;
    setCurrentEvent("parent \"label=it's\"");
    host.callback(const_cast<char*>("TP 'text=it's' '1' 'Label'"), 0);
    host.callback(const_cast<char*>("TP 'text=its' '1' 'Label'"), 0);
    std::vector<SimHost::Warning> warnings = host.takeWarnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].text, "line TP 'text=it's' '1' 'Label' holds a quote inside a text argument");
    EXPECT_EQ(warnings[0].event, "parent \"label=it's\"");
    EXPECT_TRUE(host.takeNotes().empty());   // no rule broken
    EXPECT_TRUE(host.takeWarnings().empty());
    host.setCheckShapes(false);
    host.callback(const_cast<char*>("HN 'it's'"), 0);
    EXPECT_TRUE(host.takeWarnings().empty());
}

#if !defined(_WIN32)
// A command text whose bytes run to the end of readable memory without a
// NUL is noted, not read past; the same text with its NUL is a command.
TEST(CommandLines, ATextWithoutItsNulInsideReadableMemoryIsNoted)
{
    const long page = sysconf(_SC_PAGESIZE);
    char* pages = static_cast<char*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
    const char line[] = "HN 'activate=1'";
    char* end = pages + page - (sizeof line - 1);   // no room for the NUL
    std::memcpy(end, line, sizeof line - 1);
    SimHost host;
    EXPECT_EQ(host.callback(end, 0), nullptr);
    std::vector<std::string> notes = host.takeNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "component sent a command text that is not NUL-terminated inside readable memory (15 "
                        "readable bytes, the first \"HN 'activate=1'\")");
    EXPECT_TRUE(host.takeCommands().empty());

    char* whole = pages + page - sizeof line;   // the same line with its NUL
    std::memcpy(whole, line, sizeof line);
    host.callback(whole, 0);
    EXPECT_TRUE(host.takeNotes().empty());
    EXPECT_EQ(host.takeCommands(), Lines{"HN 'activate=1'"});

    // A text across the page boundary of two readable pages is read whole.
    ASSERT_EQ(mprotect(pages + page, page, PROT_READ | PROT_WRITE), 0);
    std::memcpy(pages + page - 4, "HN 'across'", 12);
    host.callback(pages + page - 4, 0);
    EXPECT_TRUE(host.takeNotes().empty());
    EXPECT_EQ(host.takeCommands(), Lines{"HN 'across'"});
    munmap(pages, 2 * page);
}
#endif

} // namespace
