#include "platform/component_loading.h"

#include <cstdint>
#include <dlfcn.h>

#include "library_loader.h"
#include "zorv_plugin_entry.h"

namespace zorv_host {

namespace {

// What to run instead of the native host for a component DLL of this
// machine: zorv-host.exe of the same bitness under its Wine, given the same
// subcommand and arguments.
std::string windowsRunAdvice(std::uint16_t machine, const std::string& path)
{
    if (machine == peMachineI386)
        return "run it with the 32-bit zorv-host.exe under Wine instead, with the same arguments: "
               "wine dist/zorv-host.exe SUBCOMMAND " + path + " ...";
    if (machine == peMachineAmd64)
        return "run it with a 64-bit zorv-host.exe under 64-bit Wine instead, with the same arguments: "
               "WINEARCH=win64 /usr/lib/wine/wine64 build/dist64/zorv-host.exe SUBCOMMAND " + path + " ...";
    return "no zorv-host of ours loads a DLL of that machine";
}

} // namespace

namespace platform {

LoadedComponent loadComponentLibrary(const std::string& path)
{
    LoadedComponent loaded;
    // A bare file name would make dlopen search the system paths.
    std::string target = path.find('/') == std::string::npos ? "./" + path : path;
    loaded.library = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!loaded.library) {
        const char* why = dlerror();
        loaded.error = "cannot load " + path + ": " + (why ? why : "unknown error");
        // A Windows image is no fault of the file, only of where it runs.
        PeImage image = readPeImage(path);
        if (image.error.empty())
            loaded.error = "cannot load " + path + ": it is a Windows " + (image.dll ? "DLL, " : "program, ")
                     + describeMachine(image.machine) + "; " + windowsRunAdvice(image.machine, path);
        return loaded;
    }
    void* symbol = dlsym(loaded.library, ZORV_PLUGIN_ENTRY_NAME);
    if (!symbol) {
        loaded.error = path + " does not export " ZORV_PLUGIN_ENTRY_NAME;
        loaded.exportsNoFactory = true;
        return loaded;
    }
    loaded.factory = reinterpret_cast<component_factory>(symbol);
    return loaded;
}

void unloadLibrary(void* library) { dlclose(library); }

bool preloadLibrary(const std::string& path, std::string& error)
{
    if (dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL))
        return true;
    const char* why = dlerror();
    error = why ? why : "cannot be loaded";
    return false;
}

} // namespace platform

} // namespace zorv_host
