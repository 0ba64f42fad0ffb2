// zorv-host.exe preflight: what an integrator runs on the target machine
// before deploying a component. Each item is one line, PASS or FAIL with
// the detail: the Windows version against the component's header, every
// imported DLL found as the host would find it, every imported name
// resolved in it, the version record, and a quick validation against the
// text library the host will use.
#ifndef ZORV_HOST_PREFLIGHT_H
#define ZORV_HOST_PREFLIGHT_H

#include <string>
#include <vector>

namespace zorv_host {

struct PreflightOptions {
    std::string component;      // the component DLL
    std::string textLibrary;    // the host's zorv_string.dll; empty: found as the host would
    bool json = false;
};

struct PreflightItem {
    std::string item;           // "windows", "imports KERNEL32.dll", "version record"...
    bool pass = false;
    std::string detail;
};

// Runs every item; prints them (text or JSON); 0 when all pass, 1 otherwise,
// 2 when run where it cannot work (not on Windows).
int runPreflight(const PreflightOptions& options);

// The environment variable that makes every zorv-host process load this text
// library before the component, so that the component binds to it: preflight
// sets it for the validation it runs. An author may set it too.
extern const char textLibraryVariable[];

// Loads the library named by textLibraryVariable, if set. False (and why)
// when it is set and cannot be loaded.
bool applyTextLibraryOverride(std::string& error);

} // namespace zorv_host

#endif
