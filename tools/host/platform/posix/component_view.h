// Host and component built by the same compiler: the callback interface as
// declared. See component_abi.h.
#ifndef ZORV_HOST_COMPONENT_VIEW_H
#define ZORV_HOST_COMPONENT_VIEW_H

#include "zorv_client_callback.h"

#define ZORV_HOST_CDECL

namespace zorv_host {

using host_callback_base = zorv_client_callback;

// Delivers event code with data to the component; returns its answer.
inline const char* componentCall(void* component, void* data, int code)
{
    return static_cast<zorv_client_callback*>(component)->callback(data, code);
}

// Destroys and frees the component.
inline void componentDestroy(void* component) { delete static_cast<zorv_client_callback*>(component); }

} // namespace zorv_host

#endif
