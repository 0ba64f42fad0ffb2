// The component linked into the test binary, as a factory of the shape that
// sessions, scenarios and the bridge take: the host pointer goes in and the
// component comes out untyped, as when the entry is looked up in a module.
#ifndef ZORV_LINKED_COMPONENT_H
#define ZORV_LINKED_COMPONENT_H

#include "zorv_plugin_entry.h"

inline void* linkedComponentFactory(void* host, const char* basePath)
{
    return load_zorv_client_script(static_cast<zorv_client_callback*>(host), basePath);
}

#endif
