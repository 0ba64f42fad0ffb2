// What a fault on guarded host memory is called, by where it lands and
// whether the host still lends the block.
#include "guarded_memory.h"

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/memory_read.h"
#include "platform/pages.h"

namespace zorv_host::guarded {
namespace {

void fillAbc(char* out, const char*, void*) { std::memcpy(out, "abcdefghij", 10); }

struct Described {
    bool found;
    std::string kind;
    std::string reason;
};

Described describe(const void* address, Access access)
{
    char reason[512];
    FaultKind kind = FaultKind::wroteLentMemory;
    bool found = describeFault(address, access, "timer 1", reason, sizeof reason, &kind);
    return {found, found ? faultKindName(kind) : "", found ? reason : ""};
}

TEST(GuardedMemory, AFaultIsNamedByWhereItLandsAndWhetherTheBlockIsStillLent)
{
    const bool was = enabled();
    setEnabled(true);
    Block* block = lend(10, "the host's message text", "after the call that lent it returned", fillAbc, nullptr);
    ASSERT_NE(block, nullptr);
    const char* text = data(block);
    EXPECT_EQ(std::string(text, 10), "abcdefghij");

    struct Case {
        long offset;
        Access access;
        const char* kind;
    };
    const Case lent[] = {
        {0, Access::write, "wrote_lent_memory"},
        {9, Access::write, "wrote_lent_memory"},
        {10, Access::read, "read_past_end"},
        {10, Access::write, "wrote_past_end"},
        {-1, Access::read, "read_before_start"},
        {-1, Access::write, "wrote_before_start"},
    };
    for (const Case& c : lent)
        EXPECT_EQ(describe(text + c.offset, c.access).kind, c.kind) << "lent, offset " << c.offset;

    retire(block);
    // Once taken back, anything inside the block's pages is a late access,
    // also just before its start, where a word-wise strlen begins.
    const Case retired[] = {
        {0, Access::read, "read_retired_memory"},
        {5, Access::write, "wrote_retired_memory"},
        {-3, Access::read, "read_retired_memory"},
        {10, Access::read, "read_past_end"},
    };
    for (const Case& c : retired)
        EXPECT_EQ(describe(text + c.offset, c.access).kind, c.kind) << "retired, offset " << c.offset;
    EXPECT_EQ(describe(text - 3, Access::read).reason,
              "read the host's message text after the call that lent it returned, during timer 1");

    int elsewhere = 0;
    EXPECT_FALSE(describe(&elsewhere, Access::read).found);
    setEnabled(was);
}

void fillSelfPointer(char* out, const char* lentAt, void*) { std::memcpy(out, &lentAt, sizeof lentAt); }

// The host writes a block through a view of its own; what it stores as a
// pointer into the block (the button record's texts) is where the
// component reads it.
TEST(GuardedMemory, APointerIntoABlockIsTheComponentsAddress)
{
    const bool was = enabled();
    setEnabled(true);
    Block* block = lend(sizeof(const char*), "a record", "after test", fillSelfPointer, nullptr);
    ASSERT_NE(block, nullptr);
    const char* stored = nullptr;
    std::memcpy(&stored, data(block), sizeof stored);
    EXPECT_EQ(stored, data(block));
    retire(block);
    setEnabled(was);
}

void fillLong(char* out, const char*, void*) { std::memset(out, 'a', 2000); }
void fillXy(char* out, const char*, void*) { std::memcpy(out, "xy", 3); }

const char* pageOf(const char* p)
{
    const std::size_t page = platform::pageSize();
    return p - reinterpret_cast<std::uintptr_t>(p) % page;
}

// Reads n bytes at p through the system: "" when they are not readable.
std::string readable(const char* p, std::size_t n)
{
    std::string out(n, '\0');
    long got = platform::readMemory(p, &out[0], n);
    return got == static_cast<long>(n) ? out : std::string();
}

// Pages come back from the quarantine to be lent again: a block lent on
// them is guarded as one on fresh pages is, and shows nothing of the block
// before it; the 256 blocks taken back last are still named.
TEST(GuardedMemory, ReusedPagesGuardAsFreshOnes)
{
    const bool was = enabled();
    setEnabled(true);
    char probe = 0;
    if (platform::readMemory(reinterpret_cast<const char*>(&was), &probe, 1) < 0)
        GTEST_SKIP() << "this system refuses reading memory through it";
    std::set<const char*> pagesSeen;
    Block* reused = nullptr;
    for (int i = 0; i < 2000 && !reused; ++i) {
        Block* block = lend(i % 2 ? 3 : 2000, "block " + std::to_string(i), "after test", i % 2 ? fillXy : fillLong,
                            nullptr);
        ASSERT_NE(block, nullptr);
        if (i % 2 && !pagesSeen.insert(pageOf(data(block))).second) {
            reused = block;
            break;
        }
        if (i % 2 == 0)
            pagesSeen.insert(pageOf(data(block)));
        retire(block);
    }
    ASSERT_NE(reused, nullptr) << "no pages came back to be lent again";
    const char* text = data(reused);
    EXPECT_EQ(readable(text, 3), std::string("xy", 3));
    EXPECT_EQ(readable(pageOf(text), static_cast<std::size_t>(text - pageOf(text))),
              std::string(static_cast<std::size_t>(text - pageOf(text)), '\0'));
    EXPECT_EQ(readable(text + 3, 1), "") << "the guard page after the block";
    EXPECT_EQ(describe(text, Access::write).kind, "wrote_lent_memory");
    EXPECT_EQ(describe(text + 3, Access::read).kind, "read_past_end");
    retire(reused);
    EXPECT_EQ(readable(text, 1), "");
    EXPECT_EQ(describe(text, Access::read).kind, "read_retired_memory");
    setEnabled(was);
}

// A late access to any of the last 256 blocks taken back names that block.
TEST(GuardedMemory, TheLast256BlocksTakenBackAreNamed)
{
    const bool was = enabled();
    setEnabled(true);
    std::vector<const char*> texts;
    for (int i = 0; i < 600; ++i) {
        Block* block = lend(3, "block " + std::to_string(i), "after test", fillXy, nullptr);
        ASSERT_NE(block, nullptr);
        texts.push_back(data(block));
        retire(block);
    }
    for (int i = 600 - 256; i < 600; ++i)
        EXPECT_EQ(describe(texts[static_cast<std::size_t>(i)], Access::read).reason,
                  "read block " + std::to_string(i) + " after test, during timer 1");
    setEnabled(was);
}

} // namespace
} // namespace zorv_host::guarded
