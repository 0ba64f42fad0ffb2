// zorv-host.exe preflight: what an integrator runs on the target machine
// before deploying a component. Each item is one line, PASS or FAIL with
// the detail: the Windows version against the component's header, every
// imported DLL found as the panel host's load would find it, every imported
// name resolved in it, the version record, and a quick validation against
// the text library the host will use. A NOTE line states the search order
// assumed; an item that depends on a failed one is SKIP, naming it, so that
// one cause gives one FAIL line.
#ifndef ZORV_HOST_PREFLIGHT_H
#define ZORV_HOST_PREFLIGHT_H

#include <string>
#include <vector>

#include "child_process.h"

namespace zorv_host {

struct PreflightOptions {
    std::string component;      // the component DLL
    std::string textLibrary;    // the host's zorv_string.dll; empty: found as the host would
    std::string hostFolder;     // the panel host program's folder; empty: this program's
    bool json = false;
};

enum class PreflightStatus { pass, fail, skip, note };

// A line under an item: one search order's finding, one failed check.
struct PreflightLine {
    std::string status;   // "FAIL", or empty
    std::string name;
    std::string detail;
};

struct PreflightItem {
    std::string item;           // "windows", "imports KERNEL32.dll", "version record"...
    PreflightStatus status = PreflightStatus::fail;
    std::string detail;
    std::vector<PreflightLine> lines;
};

// Runs every item; prints them (text or JSON); 0 when none failed, 1
// otherwise, 2 when run where it cannot work (not on Windows).
int runPreflight(const PreflightOptions& options);

// The report as printed: one line an item, its lines indented under it,
// then the verdict; or the JSON document.
std::string formatPreflight(const std::vector<PreflightItem>& items, const PreflightOptions& options);

// Items that need the one named by failed (it failed) become SKIP, saying so.
PreflightItem notRunBecause(const std::string& item, const std::string& failed);

// What preflight makes of the validations it runs in a child process with
// --json: the component's first factory call (validate --only
// library.factory), and the strictness-1 validation, each failed check a
// line of its own.
PreflightItem readFactoryCall(const ChildOutcome& child);
PreflightItem readValidation(const ChildOutcome& child);

// The environment variable that makes every zorv-host process load this text
// library before the component, so that the component binds to it: preflight
// sets it for the validation it runs. An author may set it too.
extern const char textLibraryVariable[];

// Loads the library named by textLibraryVariable, if set. False (and why)
// when it is set and cannot be loaded.
bool applyTextLibraryOverride(std::string& error);

} // namespace zorv_host

#endif
