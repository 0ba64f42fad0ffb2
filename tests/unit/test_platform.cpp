// The native implementations of the host's platform layer: what the shared
// code relies on of each interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/component_loading.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/memory_read.h"
#include "platform/pages.h"
#include "platform/process.h"
#include "platform/threads.h"
#include "test_folder.h"

namespace platform = zorv_host::platform;

namespace {

// Reading through the system gives the bytes of readable pages and 0, not
// a fault, for pages taken away; the command-text reader depends on both.
TEST(Platform, ReadMemoryFollowsPageAccess)
{
    struct Case {
        platform::PageAccess access;
        long expected;
    };
    const std::size_t page = platform::pageSize();
    // readWrite is given back after none, as a reused guarded block is.
    for (const Case& c : {Case{platform::PageAccess::readOnly, 16}, Case{platform::PageAccess::none, 0},
                          Case{platform::PageAccess::readWrite, 16}}) {
        char* pages = platform::mapPages(page);
        ASSERT_NE(pages, nullptr);
        std::fill(pages, pages + page, 'x');
        platform::protectPages(pages, page, platform::PageAccess::none);
        platform::protectPages(pages, page, c.access);
        if (c.access == platform::PageAccess::readWrite)
            pages[page - 1] = 'x';   // writable again: no fault
        char out[16] = {};
        EXPECT_EQ(platform::readMemory(pages, out, sizeof out), c.expected);
        if (c.expected > 0) {
            EXPECT_EQ(std::string(out, sizeof out), std::string(16, 'x'));
        }
        platform::unmapPages(pages, page);
    }
}

TEST(Platform, ReadPiecesAreWholePages)
{
    EXPECT_EQ(platform::pageSize() % platform::readPieceSize(), 0u);
}

TEST(Platform, WorkerThreadsEachServeOnceAndAreJoined)
{
    std::atomic<int> served{0};
    {
        platform::WorkerThreads threads(
            3, [](void* count) { ++*static_cast<std::atomic<int>*>(count); }, &served);
        EXPECT_EQ(threads.started(), 3u);
    }
    EXPECT_EQ(served.load(), 3);
}

// The simulated host refuses calls from threads not its own by this identity.
TEST(Platform, ThreadIdentityIsTheSameOnOneThreadAndDiffersOnOthers)
{
    struct Seen {
        std::uint64_t main;
        std::atomic<int> same{0};
    } seen{platform::currentThreadId()};
    EXPECT_EQ(platform::currentThreadId(), seen.main);
    {
        platform::WorkerThreads threads(
            2,
            [](void* context) {
                auto* s = static_cast<Seen*>(context);
                if (platform::currentThreadId() == s->main)
                    ++s->same;
            },
            &seen);
        ASSERT_EQ(threads.started(), 2u);
    }
    EXPECT_EQ(seen.same.load(), 0);
}

TEST(Platform, FileKinds)
{
    const std::string file = zorv_test::inProcessFolder("kind.txt");
    std::ofstream(file) << "x";
    struct Case {
        std::string path;
        platform::FileKind kind;
        bool readable;
    };
    for (const Case& c : {Case{file, platform::FileKind::file, true},
                          Case{zorv_test::processFolder(), platform::FileKind::folder, true},
                          Case{file + ".missing", platform::FileKind::missing, false}}) {
        EXPECT_EQ(platform::fileKind(c.path), c.kind) << c.path;
        EXPECT_EQ(platform::fileReadable(c.path), c.readable) << c.path;
    }
}

TEST(Platform, FullPathIsAbsoluteOrTheGivenPath)
{
    const std::string file = zorv_test::inProcessFolder("full.txt");
    std::ofstream(file) << "x";
    const std::string here = platform::fullPath(".");
    ASSERT_FALSE(here.empty());
    EXPECT_EQ(here[0], '/');
    EXPECT_EQ(platform::fullPath(zorv_test::processFolder() + "/./full.txt"), platform::fullPath(file));
    EXPECT_EQ(platform::fullPath("no/such/file"), "no/such/file");
}

TEST(Platform, ExecutableAndEnvironment)
{
    const std::string self = platform::executablePath();
    EXPECT_EQ(self.substr(self.find_last_of('/') + 1), "unit_tests");
    platform::setEnvironment("ZORV_PLATFORM_TEST", "set here");
    const char* value = std::getenv("ZORV_PLATFORM_TEST");
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, "set here");
}

TEST(Platform, PipeIsNoTerminal)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    EXPECT_FALSE(platform::isTerminal(ends[0]));
    close(ends[0]);
    close(ends[1]);
}

// A library that cannot be had is a refusal in words, not a crash.
TEST(Platform, LoadFailuresAreWords)
{
    const std::string missing = zorv_test::inProcessFolder("missing.so");
    std::string why;
    EXPECT_FALSE(platform::preloadLibrary(missing, why));
    EXPECT_NE(why.find("missing.so"), std::string::npos) << why;
    const std::string notLibrary = zorv_test::inProcessFolder("text.so");
    std::ofstream(notLibrary) << "no library";
    platform::LoadedComponent loaded = platform::loadComponentLibrary(notLibrary);
    EXPECT_EQ(loaded.library, nullptr);
    EXPECT_EQ(loaded.factory, nullptr);
    EXPECT_EQ(loaded.error.rfind("cannot load " + notLibrary + ": ", 0), 0u) << loaded.error;
}

} // namespace
