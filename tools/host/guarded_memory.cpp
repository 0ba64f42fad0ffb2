#include "guarded_memory.h"

#include <cstdint>
#include <cstring>

#include "platform/pages.h"

namespace zorv_host::guarded {

// free: no pages. lent: the data pages read-only. retired: taken back,
// every page inaccessible, waiting in the quarantine. spare: out of the
// quarantine, still mapped and inaccessible, kept for the next lend of as
// many pages (which then costs no mapping and no first-touch page faults).
enum class State { free, lent, retired, spare };

// One slot of a fixed table (so that the fault handler reads it without the
// heap), lent as the block it holds.
struct Block {
    State state = State::free;
    char* base = nullptr;        // first mapped byte, as the component sees it
    char* hostView = nullptr;    // the same bytes where the host writes them (base when they have one view)
    std::size_t mapped = 0;      // data pages and the guard page
    char* begin = nullptr;       // first lent byte
    char* end = nullptr;         // one past the last lent byte (a page boundary)
    char name[160] = {};
    char taken[256] = {};
};

namespace {

const std::size_t slotCount = 4096;
const std::size_t keptRetired = 256;   // retired blocks kept inaccessible for late accesses
const std::size_t keptSpare = 64;      // mappings kept for reuse once out of the quarantine
const std::size_t largestSpare = 4;    // data pages of the largest mapping kept so

// Slot numbers in fixed arrays, so that lend and retire take the same few
// steps however full the table is.
template <std::size_t capacity>
class SlotStack {
public:
    std::size_t size() const { return count_; }
    void push(std::size_t slot) { items_[count_++] = slot; }
    // The most recently pushed slot for which matches() holds, taken out;
    // false when there is none.
    template <typename Match>
    bool take(Match matches, std::size_t* slot)
    {
        for (std::size_t i = count_; i-- > 0;) {
            if (matches(items_[i])) {
                *slot = items_[i];
                items_[i] = items_[--count_];
                return true;
            }
        }
        return false;
    }

private:
    std::size_t items_[capacity] = {};
    std::size_t count_ = 0;
};

// Retired slots, oldest first.
class Quarantine {
public:
    std::size_t size() const { return count_; }
    void push(std::size_t slot) { items_[(first_ + count_++) % keptRetired] = slot; }
    std::size_t popOldest()
    {
        std::size_t slot = items_[first_];
        first_ = (first_ + 1) % keptRetired;
        --count_;
        return slot;
    }

private:
    std::size_t items_[keptRetired] = {};
    std::size_t first_ = 0, count_ = 0;
};

Block slots[slotCount];
bool on = true;
std::size_t neverUsed = 0;                // slots from here on were never used
SlotStack<slotCount> freedSlots;          // free slots used before
Quarantine quarantine;
SlotStack<keptSpare> spareSlots;

using platform::mapPages;
using platform::mapPageViews;
using platform::pageSize;
using platform::PageAccess;
using platform::protectPages;
using platform::unmapPages;
using platform::unmapPageViews;

void copyText(char* out, std::size_t size, const std::string& text)
{
    std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

// Gives the slot's pages back: it is free.
void unmapSlot(Block& slot)
{
    if (slot.hostView != slot.base)
        unmapPageViews({slot.hostView, slot.base}, slot.mapped);
    else
        unmapPages(slot.base, slot.mapped);
    slot = Block();
}

// A retired slot leaves the quarantine: a spare while there is room for
// one and it is small, else unmapped and free.
void releaseOldestRetired()
{
    const std::size_t index = quarantine.popOldest();
    Block& slot = slots[index];
    if (spareSlots.size() < keptSpare && slot.mapped <= (largestSpare + 1) * pageSize()) {
        slot.state = State::spare;
        spareSlots.push(index);
        return;
    }
    unmapSlot(slot);
    freedSlots.push(index);
}

// A slot with no pages; null when every slot is lent.
Block* freeSlotOrNull()
{
    if (neverUsed < slotCount)
        return &slots[neverUsed++];
    auto any = [](std::size_t) { return true; };
    std::size_t index = 0;
    if (freedSlots.take(any, &index))
        return &slots[index];
    // Every slot holds pages: a spare gives them up, else the block retired
    // longest ago.
    if (!spareSlots.take(any, &index)) {
        if (quarantine.size() == 0)
            return nullptr;
        index = quarantine.popOldest();
    }
    unmapSlot(slots[index]);
    return &slots[index];
}

// A spare of dataPages data pages, writable where the host writes (its
// guard page stays inaccessible); null when there is none.
Block* writableSpare(std::size_t dataPages)
{
    const std::size_t mapped = (dataPages + 1) * pageSize();
    std::size_t index = 0;
    if (!spareSlots.take([mapped](std::size_t i) { return slots[i].mapped == mapped; }, &index))
        return nullptr;
    Block& slot = slots[index];
    if (slot.hostView == slot.base)
        protectPages(slot.base, mapped - pageSize(), PageAccess::readWrite);
    return &slot;
}

// Fresh pages for dataPages data pages and an inaccessible guard page, in
// two views where the system offers them, else in one; null when no slot
// or no pages can be had.
Block* freshSlot(std::size_t dataPages)
{
    Block* slot = freeSlotOrNull();
    if (!slot)
        return nullptr;
    const std::size_t page = pageSize();
    const std::size_t mapped = (dataPages + 1) * page;
    platform::PageViews views = mapPageViews(mapped);
    if (!views.component)
        views.host = views.component = mapPages(mapped);
    if (!views.component) {
        freedSlots.push(static_cast<std::size_t>(slot - slots));
        return nullptr;
    }
    protectPages(views.component + dataPages * page, page, PageAccess::none);
    slot->base = views.component;
    slot->hostView = views.host;
    slot->mapped = mapped;
    return slot;
}

// Appends text to out (size bytes, kept NUL-terminated) without the heap.
void append(char* out, std::size_t size, const char* text)
{
    std::size_t used = std::strlen(out);
    while (*text && used + 1 < size)
        out[used++] = *text++;
    out[used] = '\0';
}

} // namespace

void fillWithString(char* out, const char*, void* context)
{
    const std::string* text = static_cast<const std::string*>(context);
    std::memcpy(out, text->c_str(), text->size() + 1);
}

void setEnabled(bool enable) { on = enable; }
bool enabled() { return on; }

Block* lend(std::size_t size, const std::string& name, const std::string& taken, Fill fill, void* context)
{
    if (!on)
        return nullptr;
    const std::size_t page = pageSize();
    const std::size_t dataPages = size == 0 ? 1 : (size + page - 1) / page;
    Block* slot = writableSpare(dataPages);
    if (!slot)
        slot = freshSlot(dataPages);
    if (!slot)
        return nullptr;
    slot->end = slot->base + dataPages * page;
    char* begin = slot->end - size;
    char* const hostBase = slot->hostView;
    // A spare's bytes before the block are as zero as a fresh page's: only
    // those its last block wrote (from its start) need clearing.
    if (slot->begin && slot->begin < begin)
        std::memset(hostBase + (slot->begin - slot->base), 0, static_cast<std::size_t>(begin - slot->begin));
    slot->begin = begin;
    copyText(slot->name, sizeof slot->name, name);
    copyText(slot->taken, sizeof slot->taken, taken);
    fill(hostBase + (begin - slot->base), begin, context);
    protectPages(slot->base, dataPages * page, PageAccess::readOnly);
    slot->state = State::lent;
    return slot;
}

char* data(Block* block) { return block->begin; }

bool holds(const Block* block, const void* p)
{
    const char* c = static_cast<const char*>(p);
    return c >= block->begin && c < block->end;
}

void retire(Block* block)
{
    protectPages(block->base, block->mapped, PageAccess::none);
    block->state = State::retired;
    if (quarantine.size() == keptRetired)
        releaseOldestRetired();
    quarantine.push(static_cast<std::size_t>(block - slots));
}

bool describeFault(const void* address, Access access, const char* event, char* out, std::size_t outSize,
                   FaultKind* kind)
{
    const char* a = static_cast<const char*>(address);
    for (const Block& slot : slots) {
        if (slot.state == State::free || a < slot.base || a >= slot.base + slot.mapped)
            continue;
        out[0] = '\0';
        const bool write = access == Access::write;
        // A taken-back block is inaccessible as a whole, so a fault just
        // before its start (a word-wise string scan begins on an aligned
        // address) is still a late access, not a stray one.
        if (a >= slot.end) {
            *kind = write ? FaultKind::wrotePastEnd : FaultKind::readPastEnd;
            append(out, outSize, write ? "wrote past the end of " : "read past the end of ");
            append(out, outSize, slot.name);
        } else if (slot.state == State::retired || slot.state == State::spare) {
            *kind = write ? FaultKind::wroteRetiredMemory : FaultKind::readRetiredMemory;
            append(out, outSize, write ? "wrote into " : "read ");
            append(out, outSize, slot.name);
            append(out, outSize, " ");
            append(out, outSize, slot.taken);
            append(out, outSize, ",");
        } else if (a < slot.begin) {
            *kind = write ? FaultKind::wroteBeforeStart : FaultKind::readBeforeStart;
            append(out, outSize, write ? "wrote before the start of " : "read before the start of ");
            append(out, outSize, slot.name);
        } else {
            *kind = FaultKind::wroteLentMemory;
            append(out, outSize, "wrote into ");
            append(out, outSize, slot.name);
        }
        append(out, outSize, " during ");
        append(out, outSize, event);
        return true;
    }
    return false;
}

const char* faultKindName(FaultKind kind)
{
    switch (kind) {
#define ZORV_NAME_CASE(enumerator, name) \
    case FaultKind::enumerator: return name;
        ZORV_MEMORY_FAULT_KINDS(ZORV_NAME_CASE)
#undef ZORV_NAME_CASE
    }
    return "unknown";
}

std::optional<FaultKind> faultKindFromName(const std::string& name)
{
#define ZORV_FROM_NAME(enumerator, text) \
    if (name == text)                    \
        return FaultKind::enumerator;
    ZORV_MEMORY_FAULT_KINDS(ZORV_FROM_NAME)
#undef ZORV_FROM_NAME
    return std::nullopt;
}

} // namespace zorv_host::guarded
