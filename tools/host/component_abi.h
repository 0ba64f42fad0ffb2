// The host side's view of the callback interface, for the compiler that
// builds the host: componentCall and componentDestroy on a component, and
// host_callback_base under the host object. Natively host and component
// share the compiler (platform/posix/component_view.h); zorv-host.exe is
// built with MinGW and drives components built with the Microsoft C++ ABI
// (platform/windows/component_view.h). The build puts the one for its
// system on the include path.
#ifndef ZORV_HOST_COMPONENT_ABI_H
#define ZORV_HOST_COMPONENT_ABI_H

#include "component_view.h"

namespace zorv_host {

// The factory as the host calls it: the host object goes in as the
// component's zorv_client_callback pointer; the result is the component.
using component_factory = void*(ZORV_HOST_CDECL*)(void* host, const char* basePath);

} // namespace zorv_host

#endif
