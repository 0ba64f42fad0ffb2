// The host side of the bridge protocol (tools/host/bridge.h): one
// component in a child process of its own, driven a line at a time. A child
// that crashes, hangs or talks nonsense ends as a ChildFailure with the event
// that did it, never as a crash or a hang of the host.
//
// Not thread-safe: one thread drives a BridgeClient (the workbench's host
// thread); start() and waitReady() may run on another thread before that.
#ifndef ZORV_WORKBENCH_BRIDGE_CLIENT_H
#define ZORV_WORKBENCH_BRIDGE_CLIENT_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "guarded_memory.h"
#include "rule_break.h"
#include "session.h"

namespace zorv_workbench {

// How a bridge child stopped serving: what its owner decides on.
enum class ChildEnd {
    running,         // it has not failed
    notStarted,      // no process could be made, or the start was cancelled
    loadFailed,      // the bridge said "fail": the library did not load, or exports no factory
    crashed,         // the component crashed: the bridge's crash record, a signal, or status 70
    hung,            // no answer within the time limit (no "ready", or no "done"); killed
    exited,          // the process ended with an exit status of its own
    brokeProtocol,   // it sent a line that is not of the protocol, or closed its output and lived on
};

// The end's stable name ("crashed", "broke_protocol"), for logs and JSON.
const char* childEndName(ChildEnd end);

// A child's failure as a record; text alone is for people.
struct ChildFailure {
    ChildEnd end = ChildEnd::running;
    bool loading = false;            // before "ready": the library never loaded
    std::string event;               // the event line it failed on; empty while loading
    int signal = 0;                  // crashed: the signal, from the crash record or the process's end
    std::uint32_t exception = 0;     // crashed: the exception code (Windows, under Wine)
    std::optional<zorv_host::guarded::FaultKind> memoryFault;   // crashed on guarded memory: the rule
    std::optional<int> exitStatus;   // the process's exit status, when it ended with one
    std::string text;                // in words, for display only
};

// What an exchange hands to its owner while the event runs.
struct ExchangeHandlers {
    // A command line the component sent (not a query).
    std::function<void(const std::string& line)> command;
    // A PS, TG, SD or XI line: the host's answer (nullopt for null).
    std::function<std::optional<std::string>(const std::string& line)> query;
    // A rule break the bridge's host noted: its kind, event and sentence.
    std::function<void(const zorv_host::RuleBreak& broken)> note;
    // A create whose factory made no component; line is the transcript's
    // note for it ("the factory returned null").
    std::function<void(const std::string& line)> noComponent;
};

struct ExchangeResult {
    bool ok = false;                     // false: the child is gone (see failure)
    std::optional<std::string> reply;    // a parent message's reply
    std::size_t outstanding = 0;         // query replies not yet handed back
    std::string error;                   // the bridge did not understand the line
};

class BridgeClient {
public:
    BridgeClient() = default;
    ~BridgeClient();
    BridgeClient(const BridgeClient&) = delete;
    BridgeClient& operator=(const BridgeClient&) = delete;

    // Starts argv (argv[0] a path or a name on PATH) in a process group of
    // its own, standard error to a file kept for the crash report.
    bool start(const std::vector<std::string>& argv);
    // Waits for "ready"; false (with failure() set) on "fail", an early end,
    // the time limit, or cancel (when given) turning true.
    bool waitReady(double seconds, const std::atomic<bool>* cancel = nullptr);

    // Sends one event line and serves its commands and queries until
    // "done"; the child is killed when it takes longer than seconds.
    ExchangeResult exchange(const std::string& line, const ExchangeHandlers& handlers, double seconds);

    // "quit", then a short wait; the child is killed if it does not end.
    void stop();

    bool running() const { return pid_ > 0 && failure_.end == ChildEnd::running; }
    // How the child failed (end running while it runs).
    const ChildFailure& failure() const { return failure_; }
    // The last lines the child wrote to standard error.
    std::string errorTail(std::size_t bytes = 2000) const;

private:
    enum class Read { Line, Eof, Timeout };
    Read readLine(std::string& line, double deadline);
    bool writeLine(const std::string& line);
    // Records the failure (the first one only) and ends the child, after
    // grace seconds for it to end by itself. An end of streamEnded is
    // provisional: how the process ended decides it.
    void fail(ChildEnd end, const std::string& why, double grace = 0);
    void streamEnded(const std::string& why, double grace);
    void reap(double grace);
    void protocolBroken(const std::string& got, const std::string& when);

    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    int errFile_ = -1;
    std::string buffer_;
    bool ready_ = false;                         // "ready" came: the library loaded
    std::string event_;                          // the event being exchanged
    bool byProcessEnd_ = false;                  // the failure's end waits for the process's end
    std::optional<zorv_host::CrashRecord> crashRecord_;   // what a "crashed" line said
    ChildFailure failure_;
};

// Seconds on a monotonic clock.
double monotonicSeconds();

} // namespace zorv_workbench

#endif
