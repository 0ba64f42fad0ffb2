// The host side of the bridge protocol (tools/host/bridge.h): one
// component in a child process of its own, driven a line at a time. A child
// that crashes, hangs or talks nonsense ends as a Failure with the event that
// did it, never as a crash or a hang of the host.
//
// Not thread-safe: one thread drives a BridgeClient (the workbench's host
// thread); start() and waitReady() may run on another thread before that.
#ifndef ZORV_WORKBENCH_BRIDGE_CLIENT_H
#define ZORV_WORKBENCH_BRIDGE_CLIENT_H

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zorv_workbench {

// What an exchange hands to its owner while the event runs.
struct ExchangeHandlers {
    // A command line the component sent (not a query).
    std::function<void(const std::string& line)> command;
    // A PS, TG, SD or XI line: the host's answer (nullopt for null).
    std::function<std::optional<std::string>(const std::string& line)> query;
    // A rule break the bridge's host noted.
    std::function<void(const std::string& note)> note;
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

    bool running() const { return pid_ > 0 && failure_.empty(); }
    // How the child failed, in words ("" while it runs).
    const std::string& failure() const { return failure_; }
    // The last lines the child wrote to standard error.
    std::string errorTail(std::size_t bytes = 2000) const;

private:
    enum class Read { Line, Eof, Timeout };
    Read readLine(std::string& line, double deadline);
    bool writeLine(const std::string& line);
    void fail(const std::string& why, double grace = 0);
    void reap(double grace);

    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    int errFile_ = -1;
    std::string buffer_;
    std::string failure_;
};

// Seconds on a monotonic clock.
double monotonicSeconds();

} // namespace zorv_workbench

#endif
