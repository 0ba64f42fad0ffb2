#include "platform/preflight_items.h"

namespace zorv_host::platform {

// Only the Windows loader can say what the panel host's load would find.
bool preflightItems(const PreflightOptions&, std::vector<PreflightItem>&, LoaderFinding&) { return false; }

} // namespace zorv_host::platform
