// Guarded host memory: everything the simulated host lends a component sits
// in pages of its own, its last byte on a page's last byte and an
// inaccessible page after it. Lent memory is read-only; once the host takes
// it back it becomes inaccessible (kept so for the next 256 blocks taken
// back, so that a late access faults on a known block instead of landing in
// reused memory; only then are its pages reused or given back). A fault on
// such a page is turned into a reason that names the block.
#ifndef ZORV_HOST_GUARDED_MEMORY_H
#define ZORV_HOST_GUARDED_MEMORY_H

#include <cstddef>
#include <optional>
#include <string>

#include "platform/crash.h"
#include "rule_break.h"

// Every memory rule a fault on guarded memory can break, once: its
// enumerator and its stable name. Each is a validator result kind too
// (validator.h).
#define ZORV_MEMORY_FAULT_KINDS(X)                                                                   \
    X(readPastEnd, "read_past_end")               /* read past the end of a lent block */            \
    X(wrotePastEnd, "wrote_past_end")             /* wrote past the end of a lent block */           \
    X(readRetiredMemory, "read_retired_memory")   /* read a block the host took back */              \
    X(wroteRetiredMemory, "wrote_retired_memory") /* wrote into a block the host took back */        \
    X(readBeforeStart, "read_before_start")       /* read before the start of a lent block */        \
    X(wroteBeforeStart, "wrote_before_start")     /* wrote before the start of a lent block */       \
    X(wroteLentMemory, "wrote_lent_memory")       /* wrote into a block lent read-only */

namespace zorv_host::guarded {

enum class FaultKind { ZORV_MEMORY_FAULT_KINDS(ZORV_ENUMERATOR) };

// The kind's stable name ("read_past_end"): a string literal, so that a
// crash report may write it from a signal handler.
const char* faultKindName(FaultKind kind);
// The kind of that name; nullopt for a name of no kind.
std::optional<FaultKind> faultKindFromName(const std::string& name);

// Off: lend() gives null and callers use ordinary memory.
void setEnabled(bool on);
bool enabled();

struct Block;

// Writes a block's size bytes at out, the host's own view of them; a
// pointer it stores into the block must be made from lentAt, the address
// the component is given for the same bytes (out and lentAt differ).
using Fill = void (*)(char* out, const char* lentAt, void* context);

// A block of size bytes, filled by fill(context) before the component may
// read it, then read-only for the component. name says what it is ("the
// reply to \"SD 'x'\""); taken says how the host took it back ("after
// handing it back"), for late accesses. Null when guarding is off or no
// pages could be had.
Block* lend(std::size_t size, const std::string& name, const std::string& taken, Fill fill, void* context);
// A fill for lend() that copies the std::string context points to, its NUL
// included.
void fillWithString(char* out, const char* lentAt, void* context);
char* data(Block* block);
// Whether p points into the block's lent bytes.
bool holds(const Block* block, const void* p);
// The host takes the block back: no access from now on.
void retire(Block* block);

// How a faulting access touched memory, as the crash handler tells it.
using Access = platform::MemoryAccess;

// Async-signal-safe: when address lies on a guarded page, writes a reason
// naming the block and event into out ("wrote into the host's message text
// during parent ..."), sets kind to the memory rule broken and returns true.
bool describeFault(const void* address, Access access, const char* event, char* out, std::size_t outSize,
                   FaultKind* kind);

} // namespace zorv_host::guarded

#endif
