#include "library_loader.h"

#include "zorv_plugin_entry.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zorv_host {

#if defined(_WIN32)

ComponentLibrary::ComponentLibrary(const std::string& path)
{
    // With a full path, the component's own folder is searched first for the
    // libraries it imports (zorv_string.dll beside it).
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    HMODULE module = length > 0 && length < MAX_PATH
                         ? LoadLibraryExA(full, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                         : LoadLibraryA(path.c_str());
    if (!module) {
        error_ = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    handle_ = module;
    FARPROC symbol = GetProcAddress(module, ZORV_PLUGIN_ENTRY_NAME);
    if (!symbol) {
        error_ = path + " does not export " ZORV_PLUGIN_ENTRY_NAME;
        return;
    }
    factory_ = reinterpret_cast<component_factory>(reinterpret_cast<void*>(symbol));
}

ComponentLibrary::~ComponentLibrary()
{
    if (handle_)
        FreeLibrary(static_cast<HMODULE>(handle_));
}

#else

ComponentLibrary::ComponentLibrary(const std::string& path)
{
    // A bare file name would make dlopen search the system paths.
    std::string target = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error_ = "cannot load " + path + ": " + (why ? why : "unknown error");
        return;
    }
    void* symbol = dlsym(handle_, ZORV_PLUGIN_ENTRY_NAME);
    if (!symbol) {
        error_ = path + " does not export " ZORV_PLUGIN_ENTRY_NAME;
        return;
    }
    factory_ = reinterpret_cast<component_factory>(symbol);
}

ComponentLibrary::~ComponentLibrary()
{
    if (handle_)
        dlclose(handle_);
}

#endif

} // namespace zorv_host
