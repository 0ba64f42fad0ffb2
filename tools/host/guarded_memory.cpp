#include "guarded_memory.h"

#include <cstdint>
#include <cstring>

#include "platform/pages.h"

namespace zorv_host::guarded {

namespace {

enum class State { free, lent, retired };

// A fixed table, so that the fault handler reads it without the heap.
struct Slot {
    State state = State::free;
    char* base = nullptr;        // first mapped byte
    std::size_t mapped = 0;      // data pages and the guard page
    char* begin = nullptr;       // first lent byte
    char* end = nullptr;         // one past the last lent byte (a page boundary)
    char name[160] = {};
    char taken[256] = {};
    unsigned long retiredAt = 0;
};

const std::size_t slotCount = 4096;
const std::size_t keptRetired = 256;   // retired blocks kept mapped for late accesses
Slot slots[slotCount];
bool on = true;
unsigned long retireClock = 0;
std::size_t retiredCount = 0;

using platform::mapPages;
using platform::pageSize;
using platform::PageAccess;
using platform::protectPages;
using platform::unmapPages;

void copyText(char* out, std::size_t size, const std::string& text)
{
    std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

void freeSlot(Slot& slot)
{
    if (slot.state == State::retired)
        --retiredCount;
    unmapPages(slot.base, slot.mapped);
    slot = Slot();
}

// Unmaps the block retired longest ago.
void dropOldestRetired()
{
    Slot* oldest = nullptr;
    for (Slot& slot : slots)
        if (slot.state == State::retired && (!oldest || slot.retiredAt < oldest->retiredAt))
            oldest = &slot;
    if (oldest)
        freeSlot(*oldest);
}

Slot* freeSlotOrNull()
{
    for (Slot& slot : slots)
        if (slot.state == State::free)
            return &slot;
    dropOldestRetired();
    for (Slot& slot : slots)
        if (slot.state == State::free)
            return &slot;
    return nullptr;
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

struct Block {
    Slot* slot;
};

void fillWithString(char* out, void* context)
{
    const std::string* text = static_cast<const std::string*>(context);
    std::memcpy(out, text->c_str(), text->size() + 1);
}

void setEnabled(bool enable) { on = enable; }
bool enabled() { return on; }

Block* lend(std::size_t size, const std::string& name, const std::string& taken, void (*fill)(char*, void*),
            void* context)
{
    if (!on)
        return nullptr;
    Slot* slot = freeSlotOrNull();
    if (!slot)
        return nullptr;
    const std::size_t page = pageSize();
    std::size_t dataPages = (size + page - 1) / page;
    if (dataPages == 0)
        dataPages = 1;
    std::size_t mapped = (dataPages + 1) * page;
    char* base = mapPages(mapped);
    if (!base)
        return nullptr;
    slot->base = base;
    slot->mapped = mapped;
    slot->end = base + dataPages * page;
    slot->begin = slot->end - size;
    copyText(slot->name, sizeof slot->name, name);
    copyText(slot->taken, sizeof slot->taken, taken);
    fill(slot->begin, context);
    protectPages(slot->end, page, PageAccess::none);
    protectPages(base, dataPages * page, PageAccess::readOnly);
    slot->state = State::lent;
    return new Block{slot};
}

char* data(Block* block) { return block->slot->begin; }

bool holds(const Block* block, const void* p)
{
    const char* c = static_cast<const char*>(p);
    return c >= block->slot->begin && c < block->slot->end;
}

void retire(Block* block)
{
    Slot* slot = block->slot;
    delete block;
    protectPages(slot->base, slot->mapped, PageAccess::none);
    slot->state = State::retired;
    slot->retiredAt = ++retireClock;
    if (++retiredCount > keptRetired)
        dropOldestRetired();
}

bool describeFault(const void* address, Access access, const char* event, char* out, std::size_t outSize,
                   FaultKind* kind)
{
    const char* a = static_cast<const char*>(address);
    for (const Slot& slot : slots) {
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
        } else if (slot.state == State::retired) {
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
