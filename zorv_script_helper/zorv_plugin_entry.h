// The plug-in entry: the one function a component library exports, under
// this plain name, and the macros that export it in either build.
#ifndef ZORV_PLUGIN_ENTRY_H
#define ZORV_PLUGIN_ENTRY_H

#include "zorv_client_callback.h"
#include "zorv_crt.h"   // std::nothrow for the factory, in both builds
#include "zorv_platform.h"

#define ZORV_PLUGIN_EXPORT extern "C" ZORV_DLL_EXPORT
#define ZORV_PLUGIN_CALL ZORV_CDECL

#define ZORV_PLUGIN_ENTRY_NAME "load_zorv_client_script"

typedef zorv_client_callback*(ZORV_PLUGIN_CALL* zorv_plugin_factory)(zorv_client_callback* host,
                                                                     const char* basePath);

// Called by the host once per placement, on its calling thread; each call makes
// one independent component (which may send commands at once). host: the host's
// object, outliving it; null drops every command. basePath: copied, null is "".
// Returns a component the host owns and deletes, or null; never throws (nothrow).
ZORV_PLUGIN_EXPORT zorv_client_callback* ZORV_PLUGIN_CALL
load_zorv_client_script(zorv_client_callback* host, const char* basePath);

#endif
