// What a fault on guarded host memory is called, by where it lands and
// whether the host still lends the block.
#include "guarded_memory.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace zorv_host::guarded {
namespace {

void fillAbc(char* out, void*) { std::memcpy(out, "abcdefghij", 10); }

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

} // namespace
} // namespace zorv_host::guarded
