// The items of preflight, which asks this system's loader about a component
// DLL where the panel host runs (preflight_windows.cpp); elsewhere there is
// no such loader to ask (preflight_posix.cpp).
#ifndef ZORV_HOST_PLATFORM_PREFLIGHT_ITEMS_H
#define ZORV_HOST_PLATFORM_PREFLIGHT_ITEMS_H

#include <vector>

#include "preflight.h"

namespace zorv_host::platform {

// Runs every item for options.component and appends them to items, in the
// order printed. False, with nothing appended, where preflight cannot run
// (not on Windows).
bool preflightItems(const PreflightOptions& options, std::vector<PreflightItem>& items);

} // namespace zorv_host::platform

#endif
