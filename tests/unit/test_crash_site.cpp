// Reading a crash report's frames back, and putting them in words.
#include <gtest/gtest.h>

#include "crash_site.h"

namespace zorv_host {
namespace {

TEST(CrashFrames, OnlyWholeFrameLinesRead)
{
    const struct {
        const char* line;
        bool read;
        const char* module;
        std::uintptr_t offset;
    } cases[] = {
        {"! frame bin/faulty/x.so 0x236a", true, "bin/faulty/x.so", 0x236a},
        {"! frame C:\\Program Files\\Panel\\x.dll 0x1f", true, "C:\\Program Files\\Panel\\x.dll", 0x1f},
        {"! frame ? 0x7ffd0001", true, "?", 0x7ffd0001},
        {"! frame x.so 0xffffffffffffffff", true, "x.so", ~std::uintptr_t(0)},
        {"! frame x.so 0x", false, "", 0},
        {"! frame x.so 236a", false, "", 0},
        {"! frame x.so 0x23G", false, "", 0},
        {"! frame x.so 0x1ffffffffffffffff", false, "", 0},
        {"! frame  0x10", false, "", 0},
        {"! frame 0x10", false, "", 0},
        {"!frame x.so 0x10", false, "", 0},
        {"! component crashed (SIGSEGV) during: timer 1", false, "", 0},
        {"", false, "", 0},
    };
    for (const auto& c : cases) {
        std::optional<ReportedFrame> frame = readCrashFrame(c.line);
        ASSERT_EQ(frame.has_value(), c.read) << c.line;
        if (frame) {
            EXPECT_EQ(frame->module, c.module) << c.line;
            EXPECT_EQ(frame->offset, c.offset) << c.line;
        }
    }
}

TEST(CrashFrames, TheFramesAreThoseRightAfterTheReportLine)
{
    const std::string err = "chatter\n! frame a.so 0x1\n! component crashed (SIGSEGV) during: timer 1\n"
                            "! frame a.so 0x10\r\n! frame host 0x20\nprinted later\n! frame a.so 0x30\n";
    const std::size_t at = err.find("! component");
    std::vector<ReportedFrame> frames = readCrashFrames(err, at);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].module, "a.so");
    EXPECT_EQ(frames[0].offset, 0x10u);
    EXPECT_EQ(frames[1].module, "host");
    EXPECT_TRUE(readCrashFrames("! component crashed\n", 0).empty());
    EXPECT_TRUE(readCrashFrames("! component crashed", 0).empty());
}

// Without symbols the component's frames are module and offset, the host's
// are folded between them, and the note says why there are no lines.
TEST(CrashSites, WithoutSymbolsFramesAreModuleAndOffsetAndTheHostsAreFolded)
{
    const std::vector<ReportedFrame> frames = {{"/nowhere/Comp.so", 0x10}, {"/nowhere/Comp.so", 0x21},
                                               {"zorv-host", 0x5},         {"/lib/libc.so.6", 0x6},
                                               {"/nowhere/comp.SO", 0x31}, {"zorv-host", 0x7}};
    CrashSite site = describeCrashSite(frames, "other/place/Comp.so");
    EXPECT_EQ(site.stack, (std::vector<std::string>{"at Comp.so+0x10", "at Comp.so+0x21", "(2 host frames)",
                                                    "at comp.SO+0x31", "(1 host frame)"}));
    EXPECT_EQ(site.place, "at Comp.so+0x10");
    EXPECT_NE(site.note.find("no source lines: "), std::string::npos) << site.note;
    EXPECT_EQ(withCrashSite("component crashed (SIGSEGV) during: timer 1", site),
              "component crashed (SIGSEGV) during: timer 1\n    at Comp.so+0x10\n    at Comp.so+0x21\n"
              "    (2 host frames)\n    at comp.SO+0x31\n    (1 host frame)\n    (" + site.note + ")");
    EXPECT_EQ(crashFault("component crashed (SIGSEGV)", site, false), "component crashed (SIGSEGV) at Comp.so+0x10");
}

TEST(CrashSites, AStackOutsideTheComponentHasNoPlace)
{
    CrashSite none = describeCrashSite({}, "Comp.so");
    EXPECT_TRUE(none.place.empty());
    EXPECT_TRUE(none.stack.empty());
    EXPECT_EQ(none.note, "the crashed process named no frames");
    CrashSite hostOnly = describeCrashSite({{"zorv-host", 0x5}}, "Comp.so");
    EXPECT_EQ(hostOnly.note, "no frame of the stack lies in Comp.so");
    // Without a place a crash is a fault of its own; a memory fault is still
    // known by what it did.
    EXPECT_EQ(crashFault("component crashed (SIGSEGV)", hostOnly, false), "");
    EXPECT_EQ(crashFault("component wrote into x", hostOnly, true), "component wrote into x");
}

TEST(CrashSites, ADeepStackShowsTheInnermostFramesAndCountsTheRest)
{
    std::vector<ReportedFrame> frames(12, ReportedFrame{"Comp.so", 0x40});
    CrashSite site = describeCrashSite(frames, "Comp.so");
    ASSERT_EQ(site.stack.size(), 9u);
    EXPECT_EQ(site.stack.back(), "(4 more frames)");
}

} // namespace
} // namespace zorv_host
