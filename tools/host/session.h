// Drives one component the way a panel host does: create it through the
// factory, deliver events by code, take and release its replies, destroy it.
#ifndef ZORV_HOST_SESSION_H
#define ZORV_HOST_SESSION_H

#include <cstdint>
#include <optional>
#include <string>

#include "component_abi.h"
#include "event_context.h"
#include "guarded_memory.h"
#include "sim_host.h"

namespace zorv_host {

// How long the component took over one event (its call for it), measured
// on a monotonic clock.
struct Handling {
    std::string event;         // as the event being delivered names it
    double milliseconds = 0;
};

class Session {
public:
    Session(component_factory factory, SimHost& host) : factory_(factory), host_(host) {}
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Calls the factory. basePath nullopt passes a null pointer; withHost
    // false passes a null host. False when the factory returned null.
    bool create(const std::optional<std::string>& basePath, bool withHost = true);
    bool alive() const { return component_ != nullptr; }
    void* component() const { return component_; }

    // Code 3. text nullopt sends a null pointer. Returns a copy of the reply
    // (nullopt for null); the reply is released with code 5 right away.
    std::optional<std::string> parentMessage(const std::optional<std::string>& text);
    // Code 2, with a ButtonEvent the host builds for the call.
    void button(const std::string& panel, const std::string& control, const std::string& eventText);
    // Code 4.
    void timer(int number);
    // Any code with a raw data word; returns the component's result as is.
    // A code 3 text is lent in guarded memory like any message text.
    const char* rawEvent(int code, void* data);
    // Code 5 for a reply of the component's; answering non-null or sending
    // a command while releasing is noted as a rule break.
    void release(const char* reply);
    // Destroys the component; the host's books are closed for it.
    void destroy();

    // The slowest call of the component (factory, event, release, destroy)
    // since the last take; milliseconds 0 when there was none.
    Handling takeSlowest();

private:
    // The component's call for the event being delivered, timed.
    const char* call(void* data, int code);
    void timed(double startSeconds);
    void releaseReply(const char* reply);
    // Code 3 with the text in a guarded block for the call's duration.
    const char* lendMessage(const char* text);

    component_factory factory_;
    SimHost& host_;
    void* component_ = nullptr;
    Handling slowest_;
};

// Crash reporting: the event being delivered, printed if the component
// brings the process down. Installed once per process. setCurrentEvent
// describes the next event a session delivers (and anything the host does
// until then).
void installCrashReporter();
// Whether a fault on guarded memory is also reported as a line "! kind NAME"
// before its sentence, for a parent process that sorts findings by kind.
void setFaultKindsReported(bool reported);
// For a process no parent reads the crash reports of (soak, a scenario
// played in this process, validate --in-process): a crash's stack is put
// into words here, by this program run again as crashSiteEntry, instead of
// being listed as "! frame" lines for a parent. library is the component's.
void describeCrashesHere(const std::string& library);
// The entry a program exposes for that: crash-site LIBRARY [MODULE OFFSET]...
// prints the stack's lines (crash_site.h) to standard error.
extern const char crashSiteEntry[];

// The transcript's note for a create whose factory made no component.
extern const char noComponentNote[];

// The exit status of a process the crash reporter ended.
const int crashExitStatus = 70;

// A crash as the crash reporter records it for a parent process that
// decides on it, in one line of its own (the sentence on standard error is
// for people):
//   crashed signal N             a signal (POSIX): SIGSEGV is "crashed signal 11"
//   crashed exception 0xCODE     an unhandled exception (Windows), 8 hex digits
//   crashed memory KIND          a fault on guarded memory: the rule broken
//                                (guarded_memory.h: "read_past_end")
struct CrashRecord {
    int signal = 0;                                 // 0: not a signal
    std::uint32_t exception = 0;                    // 0: not an exception
    std::optional<guarded::FaultKind> memoryFault;  // set for a fault on guarded memory
};
// Where the crash reporter also writes the record line: a C runtime file
// descriptor open for writing (the bridge's protocol stream); -1, the
// default: nowhere.
void setCrashRecordStream(int descriptor);
// The record a line "crashed ..." holds (without its line end); nullopt for
// any other line.
std::optional<CrashRecord> readCrashRecord(const std::string& line);

} // namespace zorv_host

#endif
