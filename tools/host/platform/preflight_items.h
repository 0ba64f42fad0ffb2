// The items of preflight, which asks this system's loader about a component
// DLL where the panel host runs (preflight_windows.cpp); elsewhere there is
// no such loader to ask (preflight_posix.cpp).
#ifndef ZORV_HOST_PLATFORM_PREFLIGHT_ITEMS_H
#define ZORV_HOST_PLATFORM_PREFLIGHT_ITEMS_H

#include <string>
#include <vector>

#include "preflight.h"

namespace zorv_host::platform {

// What the loader's items leave for the validation that follows them.
struct LoaderFinding {
    bool imagePassed = false;   // the DLL is one this program can load, so its imports were looked at
    std::string textLibrary;    // where the host's load takes zorv_string.dll from; empty: nowhere
    std::string firstFailure;   // the first import item that failed; empty: none
};

// Runs the loader's items for options.component (the image, the Windows
// version, the imports, the version record) and appends them to items, in
// the order printed. False, with nothing appended, where preflight cannot
// run (not on Windows).
bool preflightItems(const PreflightOptions& options, std::vector<PreflightItem>& items, LoaderFinding& found);

} // namespace zorv_host::platform

#endif
