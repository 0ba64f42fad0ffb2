// Loading a component library as this system's loader does, and saying in
// words why it would not load (component_loading_posix.cpp: dlopen, with a
// hint where the file is a Windows DLL; component_loading_windows.cpp: the
// altered search path, and a diagnosis along the folders the load searched).
#ifndef ZORV_HOST_PLATFORM_COMPONENT_LOADING_H
#define ZORV_HOST_PLATFORM_COMPONENT_LOADING_H

#include <string>

#include "component_abi.h"

namespace zorv_host::platform {

struct LoadedComponent {
    void* library = nullptr;              // null when it did not load
    component_factory factory = nullptr;  // null on any failure
    std::string error;                    // why not, in words; empty on success
    bool exportsNoFactory = false;        // it loaded and exports no factory
};

// Loads the library at path and finds its factory. The library may be
// loaded (library set) and still fail (no factory, an import unbound); the
// caller unloads it with unloadLibrary either way.
LoadedComponent loadComponentLibrary(const std::string& path);

// Unloads a library loadComponentLibrary loaded.
void unloadLibrary(void* library);

// Loads the library at path into this process for good, its names visible
// to libraries loaded after it (Windows binds later imports of its file
// name to it). False, with why, when it cannot be loaded.
bool preloadLibrary(const std::string& path, std::string& error);

} // namespace zorv_host::platform

#endif
