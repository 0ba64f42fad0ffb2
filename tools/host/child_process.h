// Runs this program again as a child process, with a time limit, and
// collects what it printed. The validator isolates each check this way, so
// a component that crashes or hangs fails one check, not the validator.
#ifndef ZORV_HOST_CHILD_PROCESS_H
#define ZORV_HOST_CHILD_PROCESS_H

#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "crash_site.h"
#include "platform/process.h"   // ChildOutcome, runSelf
#include "guarded_memory.h"

namespace zorv_host {

// The child's side: standard output taken for the records its parent reads
// (the bridge's protocol, a check's verdict, a scenario's transcript and
// outcome), so that whatever else prints there, the component above all,
// lands on standard error and cannot pass for a record. Made before the
// component's library is loaded; the stream is closed with the object.
class RecordStream {
public:
    RecordStream();
    ~RecordStream();
    RecordStream(const RecordStream&) = delete;
    RecordStream& operator=(const RecordStream&) = delete;

    // False when standard output could not be taken: nothing reaches it then.
    bool taken() const { return buffer_.file != nullptr; }
    std::ostream& out() { return out_; }
    // The C runtime descriptor under it, for the crash reporter; -1 when not taken.
    int descriptor() const;

private:
    struct FileBuffer : std::streambuf {
        std::FILE* file = nullptr;
        int overflow(int c) override;
        std::streamsize xsputn(const char* s, std::streamsize n) override;
        int sync() override;
    };
    FileBuffer buffer_;
    std::ostream out_;
};

// The last line of a child's record stream, without its line end, and in
// start where it begins; nullopt unless text ends with a line end.
std::optional<std::string> finalLine(const std::string& text, std::size_t& start);

// A count or number in a child's record: digits alone (no sign, no blank),
// at most 9 of them, so that any int holds it; nullopt for anything else.
std::optional<int> recordCount(const std::string& text);

// The rest of the last line that starts with tag and begins before `before`
// (anywhere, by default), without its line end; empty if there is none. A
// child's report lines are read this way: text the component printed in the
// middle of a line never passes for one.
std::string taggedLine(const std::string& text, const std::string& tag, std::size_t before = std::string::npos);
// Where that line starts; npos if there is none.
std::size_t findTaggedLine(const std::string& text, const std::string& tag,
                           std::size_t before = std::string::npos);

// What a child's crash reporter said of the component, read from its
// standard error (errorText): the sentence of its
// "! component ..." line (without the "! ") and the rule a guarded-memory
// fault names on a "! kind NAME" line before it. Empty and nullopt where the
// child wrote no such line (it was killed, or ended on its own). For a
// guarded-memory fault, fault is what it did to which memory, without the
// event ("component wrote into the host's message text"): one fault met in
// several events is one fault. For a crash it is the crash alone
// ("component crashed (SIGSEGV)"), which only its place makes one fault.
// frames are the stack the report lists after its line.
struct ComponentReport {
    std::string sentence;
    std::optional<guarded::FaultKind> kind;
    std::string fault;
    std::vector<ReportedFrame> frames;
};
ComponentReport componentReport(const std::string& errorText);

// The crash report in a child's standard error in words: its sentence,
// then the stack of library's frames (crash_site.h); "" where it has none.
std::string describedCrash(const std::string& errorText, const std::string& library);

// Calls work(i) for every i below count, up to jobs of them at a time on
// threads of their own, and done(i) on the calling thread in the order of i,
// each as soon as work(i) and every work before it finished. With jobs 1 it
// is a plain loop on the calling thread. work must not throw.
void forEachConcurrently(int jobs, std::size_t count, const std::function<void(std::size_t)>& work,
                         const std::function<void(std::size_t)>& done);

} // namespace zorv_host

#endif
