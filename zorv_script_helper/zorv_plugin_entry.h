// The plug-in entry: the one function a component library exports.
//
// The host calls load_zorv_client_script once per component placement, on
// its calling thread. host is the host's own callback object (may be null:
// every command of that component is then dropped); it must outlive the
// component. basePath is a NUL-terminated folder prefix for layout files (null
// is taken as empty); it is copied. Returns a new component, owned by the host
// and destroyed through its virtual destructor, or null when none could be made.
#ifndef ZORV_PLUGIN_ENTRY_H
#define ZORV_PLUGIN_ENTRY_H

#include "zorv_client_callback.h"
#include "zorv_crt.h"   // std::nothrow for the factory, in both builds

#if defined(_WIN32)
#  define ZORV_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#  define ZORV_PLUGIN_CALL __cdecl
#else
#  define ZORV_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#  define ZORV_PLUGIN_CALL
#endif

#define ZORV_PLUGIN_ENTRY_NAME "load_zorv_client_script"

typedef zorv_client_callback*(ZORV_PLUGIN_CALL* zorv_plugin_factory)(zorv_client_callback* host,
                                                                     const char* basePath);

ZORV_PLUGIN_EXPORT zorv_client_callback* ZORV_PLUGIN_CALL
load_zorv_client_script(zorv_client_callback* host, const char* basePath);

#endif
