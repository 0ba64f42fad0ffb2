// Runs this program again as a child process, with a time limit, and
// collects what it printed. The validator isolates each check this way, so
// a component that crashes or hangs fails one check, not the validator.
#ifndef ZORV_HOST_CHILD_PROCESS_H
#define ZORV_HOST_CHILD_PROCESS_H

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"   // ChildOutcome, runSelf
#include "guarded_memory.h"

namespace zorv_host {

// The folder that holds this program's executable, without a trailing
// separator; empty if the system does not say.
std::string thisProgramFolder();

// The rest of the last line that starts with tag and begins before `before`
// (anywhere, by default), without its line end; empty if there is none. A
// child's report lines are read this way: text the component printed in the
// middle of a line never passes for one.
std::string taggedLine(const std::string& text, const std::string& tag, std::size_t before = std::string::npos);
// Where that line starts; npos if there is none.
std::size_t findTaggedLine(const std::string& text, const std::string& tag,
                           std::size_t before = std::string::npos);

// What a child's crash reporter said of the component: the sentence of its
// "! component ..." line (without the "! ") and the rule a guarded-memory
// fault names on a "! kind NAME" line before it. Empty and nullopt where the
// child wrote no such line (it was killed, or ended on its own).
struct ComponentReport {
    std::string sentence;
    std::optional<guarded::FaultKind> kind;
};
ComponentReport componentReport(const ChildOutcome& child);

// Calls work(i) for every i below count, up to jobs of them at a time on
// threads of their own, and done(i) on the calling thread in the order of i,
// each as soon as work(i) and every work before it finished. With jobs 1 it
// is a plain loop on the calling thread. work must not throw.
void forEachConcurrently(int jobs, std::size_t count, const std::function<void(std::size_t)>& work,
                         const std::function<void(std::size_t)>& done);

} // namespace zorv_host

#endif
