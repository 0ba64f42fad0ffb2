// The workbench's host: a whole panel of component placements, each in a
// bridge child process, with the parent panel, the router and the host
// timers the system implies. Every component call of the panel happens on
// one host thread, one at a time, as in the real host; the page and the
// command line only post requests to it and read what it published.
#ifndef ZORV_WORKBENCH_WORKBENCH_H
#define ZORV_WORKBENCH_WORKBENCH_H

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "panel_file.h"
#include "recording.h"

namespace zorv_workbench {

// The panel file is the host library's (the instance table and router of
// `check --panel` come from it too).
using zorv_host::absolutePath;
using zorv_host::loadPanelFile;
using zorv_host::PanelFile;
using zorv_host::parsePanelFile;
using zorv_host::parseWineBits;
using zorv_host::PathRoots;
using zorv_host::Placement;
using zorv_host::RouterDevice;
using zorv_host::Runner;
using zorv_host::StateSheet;
using zorv_host::WineBits;
using zorv_host::wineBitsName;

struct WorkbenchOptions {
    std::string selfPath;          // the program that exposes the bridge's entry (zorv-host; bridge.h)
    std::string wine = "wine";     // the 32-bit Wine loader ("" when Wine is not to be used)
    std::string wine64 = "wine64"; // the 64-bit one (also found in /usr/lib/wine; "" when not to be used)
    std::string wine64Prefix;      // WINEPREFIX of 64-bit Wine children ("" = as inherited)
    double eventSeconds = 2.0;     // a placement that takes longer is hung
    double loadSeconds = 60.0;     // to load a library (Wine starts slowly)
    std::string recordDir = "workbench-recordings";
    std::size_t journalBytes = Journal::defaultBudget;   // a life kept for recording beyond this when none is on
};

struct LogEntry {
    std::uint64_t seq = 0;
    double time = 0;               // seconds since the workbench started
    std::string placement;         // "" for the panel itself
    std::string kind;              // event, cmd, query, reply, note, parent, router, timer, status, error
    std::string text;
};

// The answer to a request that waits for the host thread.
struct Outcome {
    bool ok = false;
    std::string error;                    // why not
    std::optional<std::string> reply;     // a parent message's reply
    std::vector<std::string> files;       // a recording's scenario files
};

class Workbench {
public:
    Workbench(PanelFile panel, WorkbenchOptions options);
    ~Workbench();
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    // Starts the host thread and every placement. Call once.
    void start();
    // Destroys the components and ends the children and the host thread.
    void stop();

    // Requests, from any thread; each runs later on the host thread.
    std::future<Outcome> press(const std::string& placement, const std::string& panel, const std::string& control);
    std::future<Outcome> selectSource(int number);   // -1 clears the selection
    std::future<Outcome> sendParent(const std::string& placement, const std::string& text);
    // One of the event kinds that come with neither button, message nor
    // timer: code 1, 6 or 7, with null data. Other codes are refused.
    std::future<Outcome> sendEvent(const std::string& placement, int code);
    std::future<Outcome> restart(const std::string& placement);   // also a reload
    std::future<Outcome> setRecording(bool on);

    // The published state: JSON text (docs/workbench.md) and its version,
    // which grows with every change.
    std::string state(std::uint64_t* version = nullptr) const;
    // Waits until the version is above seen, or seconds passed, or stop.
    std::uint64_t waitForChange(std::uint64_t seen, double seconds) const;
    // Log entries with seq above after, at most max of the newest.
    std::vector<LogEntry> logSince(std::uint64_t after, std::size_t max = 2000) const;

    // Plain-text views for the terminal.
    std::string crosspointTable() const;
    std::string logText() const;
    // True when every placement has started (running or failed).
    bool settled() const;

    bool stopping() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

std::string logEntryJson(const LogEntry& entry);

} // namespace zorv_workbench

#endif
