// The bridge's line protocol, driven with the destination component
// in-process: each event's command lines, the queries answered by the far
// side, the books, and what bad input gives.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "bridge.h"
#include "component_abi.h"
#include "guarded_memory.h"
#include "linked_component.h"
#include "platform/pages.h"
#include "session.h"

namespace {

using zorv_host::RuleBreak;
using zorv_host::RuleBreakKind;

struct Served {
    int status;
    std::string out;
};

Served serve(const std::string& input)
{
    std::istringstream in(input);
    std::ostringstream out;
    int status = zorv_host::serveBridge(linkedComponentFactory, in, out);
    return {status, out.str()};
}

TEST(Bridge, PlaysTheTakeRoadWithTheFarSideAnswering)
{
    Served s = serve("create \"/b\"\nreply \"OK\"\n"
                     "parent \"instance=D3\"\nreply \"1 3\"\n"
                     "parent \"activedest=3\"\n"
                     "parent \"source=5\"\n"
                     "timer 1\n"
                     "button 1 Monitor \"monitor=1\"\n"
                     "parent \"_events\"\n"
                     "destroy\n"
                     "quit\n");
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.out, "ready\n"
                     "query \"PS '1' '/b/mymon.zorv_ui'\"\ndone null 0\n"
                     "query \"SD 'D3'\"\ndone null 0\n"
                     "cmd \"TP 'statesheet=' '1' 'Ident'\"\ndone null 0\n"
                     "cmd \"RC 1 5 3 ',' 1\"\ncmd \"ET 1 250\"\ndone null 0\n"
                     "cmd \"HN 'clearsource=-1'\"\ncmd \"ET 1\"\ndone null 0\n"
                     "cmd \"HN 'activate=3'\"\ndone null 0\n"
                     "done \"activate=*\\nclearsource=-1\" 0\n"
                     "cmd \"AS\"\ndone null 0\n");
}

TEST(Bridge, AnswersReachTheComponent)
{
    // A null SD answer leaves offset 0: the press says so. An SD answer with
    // an escape arrives unescaped.
    const struct {
        std::string answer;
        std::string activate;
    } cases[] = {
        {"reply null", "activate=0"},
        {"reply \"1 7\"", "activate=7"},
        {"reply \"2\\x209\"", "activate=9"},
        {"reply \"\"", "activate=0"},
    };
    for (const auto& c : cases) {
        Served s = serve("create null\nreply \"OK\"\nparent \"instance=X\"\n" + c.answer
                         + "\nbutton 1 Monitor\nquit\n");
        EXPECT_NE(s.out.find("cmd \"HN '" + c.activate + "'\""), std::string::npos) << c.answer << "\n" << s.out;
        EXPECT_EQ(s.out.find("note"), std::string::npos) << s.out;
    }
}

TEST(Bridge, BadInputGetsAnErrorAndTheBridgeGoesOn)
{
    Served s = serve("timer 1\ncreate\nreply \"OK\"\nhost * -> null\nfrobnicate\nparent \"open\nparent x\nquit\n");
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.out, "ready\n"
                     "error \"no component: the event was not delivered\"\ndone null 0\n"
                     "query \"PS '1' 'mymon.zorv_ui'\"\ndone null 0\n"
                     "error \"host rules belong to the far side\"\ndone null 0\n"
                     "error \"unknown keyword \\\"frobnicate\\\" (event lines start with host, create, parent, button, timer, "
              "event or destroy)\"\ndone null 0\n"
                     "error \"unterminated quoted text\"\ndone null 0\n"
                     "done null 0\n"
                     "cmd \"AS\"\n");
}

// The lines of out that start with word and a blank.
std::vector<std::string> linesOf(const std::string& out, const std::string& word)
{
    std::vector<std::string> found;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(word + " ", 0) == 0)
            found.push_back(line);
    return found;
}

TEST(Bridge, AWrongLineWhereAReplyIsDueIsNotedAsNull)
{
    Served s = serve("create null\nparent \"instance=D\"\nquit\n");
    EXPECT_EQ(s.status, 0);
    // "parent ..." was read as the PS answer: a note of its kind, during the
    // create, and the layout failed.
    std::vector<std::string> notes = linesOf(s.out, "note");
    ASSERT_EQ(notes.size(), 1u) << s.out;
    EXPECT_EQ(notes[0], "note far_side \"create null\" \"the host side sent \\\"parent \\\\\\\"instance=D\\\\\\\"\\\" "
                        "where a reply was due\"");
    std::optional<RuleBreak> broken = zorv_host::readBridgeNote(notes[0]);
    ASSERT_TRUE(broken) << notes[0];
    EXPECT_EQ(broken->kind, RuleBreakKind::farSide);
    EXPECT_EQ(broken->event, "create null");
    EXPECT_EQ(broken->detail, "the host side sent \"parent \\\"instance=D\\\"\" where a reply was due");
}

void* nullFactory(void*, const char*) { return nullptr; }

TEST(Bridge, NoComponentIsALineOfItsOwn)
{
    std::istringstream in("create null\nquit\n");
    std::ostringstream out;
    EXPECT_EQ(zorv_host::serveBridge(nullFactory, in, out), 0);
    EXPECT_EQ(out.str(), "ready\nnocomponent \"the factory returned null\"\ndone null 0\n");
}

// A component that answers code 8 and the timer, which it must not.
class Answering : public zorv_client_callback {
public:
    const char* callback(void*, int code) override { return code == 8 || code == 4 ? "yes" : nullptr; }
};

void* answeringFactory(void*, const char*) { return static_cast<zorv_client_callback*>(new Answering); }

TEST(Bridge, EachRuleBreakGoesAcrossWithItsKindAndEvent)
{
    std::istringstream in("create null\nevent 8 0\ntimer 2\ndestroy\nquit\n");
    std::ostringstream out;
    EXPECT_EQ(zorv_host::serveBridge(answeringFactory, in, out), 0);
    std::vector<std::string> notes = linesOf(out.str(), "note");
    ASSERT_EQ(notes.size(), 2u) << out.str();
    std::optional<RuleBreak> code = zorv_host::readBridgeNote(notes[0]);
    std::optional<RuleBreak> timer = zorv_host::readBridgeNote(notes[1]);
    ASSERT_TRUE(code && timer) << out.str();
    EXPECT_EQ(code->kind, RuleBreakKind::codeAnswered);
    EXPECT_EQ(code->event, "event 8 0");
    EXPECT_EQ(code->detail, "code 8 answered non-null \"yes\"");
    EXPECT_EQ(timer->kind, RuleBreakKind::timerAnswered);
    EXPECT_EQ(timer->event, "timer 2");
}

// A component whose every parent message sends the command text at
// unterminatedText, which runs into an inaccessible page without its NUL.
const char* unterminatedText = nullptr;

class SendsUnterminated : public zorv_client_callback {
public:
    explicit SendsUnterminated(zorv_client_callback* host) : host_(host) {}
    const char* callback(void*, int code) override
    {
        if (code == zorv_code::parentMessage && host_)
            host_->callback(const_cast<char*>(unterminatedText), zorv_code::command);
        return nullptr;
    }

private:
    zorv_client_callback* host_;
};

void* unterminatedFactory(void* host, const char*)
{
    return static_cast<zorv_client_callback*>(new SendsUnterminated(static_cast<zorv_client_callback*>(host)));
}

TEST(Bridge, AnUnterminatedCommandIsARuleBreakNotACrash)
{
    namespace platform = zorv_host::platform;
    const std::size_t page = platform::pageSize();
    char* pages = platform::mapPages(2 * page);
    ASSERT_NE(pages, nullptr);
    platform::protectPages(pages + page, page, platform::PageAccess::none);
    // A query, which the far side would be asked, and a plain command.
    for (const std::string line : {"SD 'D3'", "HN 'x=1'"}) {
        char* text = pages + page - line.size();   // no room for the NUL
        std::memcpy(text, line.data(), line.size());
        unterminatedText = text;
        std::istringstream in("create null\nparent \"go\"\nquit\n");
        std::ostringstream out;
        EXPECT_EQ(zorv_host::serveBridge(unterminatedFactory, in, out), 0) << line;
        const std::vector<std::string> notes = linesOf(out.str(), "note");
        ASSERT_EQ(notes.size(), 1u) << out.str();
        std::optional<RuleBreak> broken = zorv_host::readBridgeNote(notes[0]);
        ASSERT_TRUE(broken) << notes[0];
        EXPECT_EQ(broken->kind, RuleBreakKind::unterminatedCommand) << notes[0];
        EXPECT_EQ(broken->event, "parent \"go\"");
        EXPECT_NE(broken->detail.find(std::to_string(line.size()) + " readable bytes"), std::string::npos) << notes[0];
        // Nothing of the text went across, and no reply was waited for.
        EXPECT_TRUE(linesOf(out.str(), "cmd").empty() && linesOf(out.str(), "query").empty()) << out.str();
        EXPECT_EQ(linesOf(out.str(), "done").size(), 2u) << out.str();
    }
    platform::unmapPages(pages, 2 * page);
}

TEST(BridgeLines, EveryRuleBreakKindSurvivesTheRoundTrip)
{
    // Texts with the protocol's own characters in them: quotes, blanks,
    // escapes, line ends and bytes beyond ASCII.
    const std::string event = "parent \"a \\\"b\\\"\"\r\n\t\x01", detail = "note \"x\" \"y\" done null 0 \xc3\xa9\\";
    for (int k = 0; k <= static_cast<int>(RuleBreakKind::farSide); ++k) {
        const RuleBreak sent{static_cast<RuleBreakKind>(k), event, detail};
        const std::string line = zorv_host::bridgeNoteLine(sent);
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        std::optional<RuleBreak> read = zorv_host::readBridgeNote(line);
        ASSERT_TRUE(read) << line;
        EXPECT_EQ(read->kind, sent.kind) << line;
        EXPECT_EQ(read->event, event) << line;
        EXPECT_EQ(read->detail, detail) << line;
        EXPECT_EQ(zorv_host::ruleBreakKindFromName(zorv_host::ruleBreakKindName(sent.kind)), sent.kind);
    }
    for (const char* line : {"note \"the old form\"", "note unknown_verb \"only the event\"",
                             "note no_such_kind \"e\" \"t\"", "note unknown_verb \"e\" \"t\" extra",
                             "note unknown_verb \"e\"\"t\"", "note unknown_verb \"e\"  \"t\"",
                             "note unknown_verb \"e\" \"t", "notes unknown_verb \"e\" \"t\"", "note"})
        EXPECT_FALSE(zorv_host::readBridgeNote(line)) << line;
}

TEST(BridgeLines, EachQuotedRecordReadsBackOnlyAsItself)
{
    using Write = std::string (*)(const std::string&);
    using Read = std::optional<std::string> (*)(const std::string&);
    const struct {
        const char* word;
        Write write;
        Read read;
    } records[] = {
        {"cmd", zorv_host::bridgeCommandLine, zorv_host::readBridgeCommand},
        {"query", zorv_host::bridgeQueryLine, zorv_host::readBridgeQuery},
        {"nocomponent", zorv_host::bridgeNoComponentLine, zorv_host::readBridgeNoComponent},
        {"error", zorv_host::bridgeErrorLine, zorv_host::readBridgeError},
    };
    const std::string texts[] = {"", "HN 'a b'", "done null 0", "say \"hi\"\r\n\t\x01 \xc3\xa9\\"};
    for (const auto& record : records) {
        EXPECT_EQ(record.write("PS '1' 'a'"), record.word + std::string(" \"PS '1' 'a'\""));
        for (const std::string& text : texts) {
            const std::string line = record.write(text);
            EXPECT_EQ(line.find('\n'), std::string::npos) << line;
            EXPECT_EQ(record.read(line), text) << line;
            for (const auto& other : records)
                EXPECT_TRUE(other.read == record.read || !other.read(line)) << other.word << " read " << line;
        }
        const std::string word = record.word;
        const std::vector<std::string> broken = {word,           word + " ",           word + " x",
                                                 word + " \"x",   word + " \"x\" y",    word + "  \"x\"",
                                                 word + "s \"x\"", "\"x\""};
        for (const std::string& line : broken)
            EXPECT_FALSE(record.read(line)) << line;
    }
}

TEST(BridgeLines, DoneCarriesTheReplyAndTheCount)
{
    const zorv_host::BridgeDone sent[] = {{std::nullopt, 0}, {std::string(""), 3}, {std::string("a b 7"), 12},
                                          {std::string("null"), 1}, {std::string("x\" 2\n"), 0}};
    for (const zorv_host::BridgeDone& done : sent) {
        const std::string line = zorv_host::bridgeDoneLine(done);
        std::optional<zorv_host::BridgeDone> read = zorv_host::readBridgeDone(line);
        ASSERT_TRUE(read) << line;
        EXPECT_EQ(read->reply, done.reply) << line;
        EXPECT_EQ(read->outstanding, done.outstanding) << line;
    }
    EXPECT_EQ(zorv_host::bridgeDoneLine({std::nullopt, 0}), "done null 0");
    EXPECT_EQ(zorv_host::bridgeDoneLine({std::string("a=1"), 2}), "done \"a=1\" 2");
    for (const char* line : {"done", "done null", "done 0", "done null x", "done null -1", "done null 1x", "done x 0",
                             "done \"x 0", "done null  0", "done null 0 ", "done null 12345678901", "dune null 0"})
        EXPECT_FALSE(zorv_host::readBridgeDone(line)) << line;
}

TEST(BridgeLines, AReplyIsTextOrNullAndSaysWhyItIsNot)
{
    const std::optional<std::string> answers[] = {std::nullopt, std::string("1 3"), std::string("q\"\n"), std::string()};
    for (const std::optional<std::string>& answer : answers) {
        const std::string line = zorv_host::bridgeReplyLine({answer});
        std::string error = "stale";
        std::optional<zorv_host::BridgeReply> read = zorv_host::readBridgeReply(line, error);
        ASSERT_TRUE(read) << line;
        EXPECT_EQ(read->answer, answer) << line;
        EXPECT_EQ(error, "") << line;
    }
    EXPECT_EQ(zorv_host::bridgeReplyLine({std::nullopt}), "reply null");
    EXPECT_EQ(zorv_host::bridgeReplyLine({std::string("OK")}), "reply \"OK\"");
    // No reply at all: no reason; a reply that does not read: why not.
    for (const char* line : {"parent \"x\"", "reply", "replies \"x\"", ""}) {
        std::string error = "stale";
        EXPECT_FALSE(zorv_host::readBridgeReply(line, error)) << line;
        EXPECT_EQ(error, "") << line;
    }
    for (const char* line : {"reply \"open", "reply \"a\" \"b\""}) {
        std::string error;
        EXPECT_FALSE(zorv_host::readBridgeReply(line, error)) << line;
        EXPECT_NE(error, "") << line;
    }
}

TEST(BridgeLines, ALoadFailureSaysWhatFailed)
{
    using Failure = zorv_host::ComponentLibrary::Failure;
    for (Failure failure : {Failure::library, Failure::factory}) {
        const zorv_host::BridgeLoadFailure sent{failure, "cannot load \"x y.so\": no\nsuch file"};
        std::optional<zorv_host::BridgeLoadFailure> read = zorv_host::readBridgeFail(zorv_host::bridgeFailLine(sent));
        ASSERT_TRUE(read);
        EXPECT_EQ(read->failure, failure);
        EXPECT_EQ(read->why, sent.why);
    }
    EXPECT_EQ(zorv_host::bridgeFailLine({Failure::factory, "x.so does not export it"}),
              "fail factory \"x.so does not export it\"");
    for (const char* line : {"fail \"the old form\"", "fail library \"x\"", "fail load x", "fail load \"x\" y", "fail"})
        EXPECT_FALSE(zorv_host::readBridgeFail(line)) << line;
}

TEST(BridgeLines, ACrashRecordNamesSignalExceptionOrMemoryRule)
{
    std::optional<zorv_host::CrashRecord> signal = zorv_host::readCrashRecord("crashed signal 11");
    ASSERT_TRUE(signal);
    EXPECT_EQ(signal->signal, 11);
    EXPECT_EQ(signal->exception, 0u);
    EXPECT_FALSE(signal->memoryFault);
    std::optional<zorv_host::CrashRecord> exception = zorv_host::readCrashRecord("crashed exception 0xC0000005");
    ASSERT_TRUE(exception);
    EXPECT_EQ(exception->exception, 0xc0000005u);
    EXPECT_EQ(exception->signal, 0);
    std::optional<zorv_host::CrashRecord> memory = zorv_host::readCrashRecord("crashed memory read_past_end");
    ASSERT_TRUE(memory);
    EXPECT_EQ(memory->memoryFault, zorv_host::guarded::FaultKind::readPastEnd);
    for (const char* line : {"crashed", "crashed signal", "crashed signal x", "crashed signal 0", "crashed signal -1",
                             "crashed signal 11 more", "crashed exception 0xc000", "crashed exception c0000005xx",
                             "crashed memory nothing", "crashed by SIGSEGV", "crash signal 11", "cmd \"crashed signal 11\""})
        EXPECT_FALSE(zorv_host::readCrashRecord(line)) << line;
}

// What a child's crash reporter writes on the record stream, read back.
std::string crashRecordOfChild(void (*crash)())
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return "no pipe";
    pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        int quiet = open("/dev/null", O_WRONLY);   // the sentence for people goes nowhere
        if (quiet >= 0)
            dup2(quiet, 2);
        zorv_host::setCrashRecordStream(pipeEnds[1]);
        zorv_host::installCrashReporter();
        crash();
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string out;
    char chunk[256];
    for (ssize_t got; (got = read(pipeEnds[0], chunk, sizeof chunk)) > 0;)
        out.append(chunk, static_cast<std::size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != zorv_host::crashExitStatus)
        return "ended otherwise";
    return out;
}

TEST(CrashRecord, TheCrashReporterWritesWhatTheReaderReads)
{
    std::string line = crashRecordOfChild([] { std::raise(SIGFPE); });
    EXPECT_EQ(line, "crashed signal " + std::to_string(SIGFPE) + "\n");
    std::optional<zorv_host::CrashRecord> record = zorv_host::readCrashRecord(line.substr(0, line.size() - 1));
    ASSERT_TRUE(record) << line;
    EXPECT_EQ(record->signal, SIGFPE);

    line = crashRecordOfChild([] {
        zorv_host::guarded::setEnabled(true);
        std::string text = "lent";
        zorv_host::guarded::Block* block =
            zorv_host::guarded::lend(text.size() + 1, "a test block", "", zorv_host::guarded::fillWithString, &text);
        if (block)
            *static_cast<volatile char*>(zorv_host::guarded::data(block)) = 'x';
    });
    EXPECT_EQ(line, "crashed memory wrote_lent_memory\n");
    record = zorv_host::readCrashRecord(line.substr(0, line.size() - 1));
    ASSERT_TRUE(record) << line;
    EXPECT_EQ(record->memoryFault, zorv_host::guarded::FaultKind::wroteLentMemory);
}

TEST(Bridge, InputEndingMidQueryLeavesWithStatusTwo)
{
    Served s = serve("create null\nreply \"OK\"\nparent \"instance=D\"\n");
    EXPECT_EQ(s.status, 2);
    EXPECT_NE(s.out.find("query \"SD 'D'\""), std::string::npos);
}

TEST(Bridge, AsksOnlyForQueriesAndTheLayout)
{
    for (const char* line : {"PS '1' 'a'", "TG '1' 'a' 'b'", "SD 'x'", "XI '1' 'alm_'"})
        EXPECT_TRUE(zorv_host::bridgeAsks(line)) << line;
    for (const char* line : {"TP 'a=b' '1' 'c'", "RC 1 2 3 ',' 1", "ET 1", "HN 'x'", "AS", ""})
        EXPECT_FALSE(zorv_host::bridgeAsks(line)) << line;
}

} // namespace
