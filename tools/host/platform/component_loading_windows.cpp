#include "platform/component_loading.h"

#include <cstdlib>
#include <windows.h>

#include "library_loader.h"
#include "load_path.h"
#include "platform/load_search_windows.h"
#include "paths.h"
#include "zorv_plugin_entry.h"

namespace zorv_host {

namespace {

// What Windows says about the failure is a number; the reasons an integrator
// meets are told apart here by looking at the file and its imports, along
// the folders the failed load searched.
// image is the file as read before the load, which has already refused a
// program and an image of the other machine.
std::string explainFailure(const std::string& path, const std::string& full, const PeImage& image, SearchOrder order,
                           DWORD code)
{
    DWORD attributes = GetFileAttributesA(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return "cannot load " + path + ": file not found";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return "cannot load " + path + ": it is a folder, not a DLL";
    if (!image.error.empty())
        return "cannot load " + path + ": " + image.error;
    const SearchPlaces places = searchPlacesHere(full);
    std::string missing = missingAlong(full, order, places);
    if (!missing.empty())
        return "cannot load " + path + ": " + missing;
    return "cannot load " + path + ": Windows error " + std::to_string(code)
           + " (every imported DLL and name was found along the folders the load searched, in order: "
           + listFolders(searchFolders(order, places)) + "; its entry point may have refused)";
}

// After a load that succeeded: an import name that the module the loader
// bound lacks. Windows refuses such a DLL; Wine loads it with a trap in
// place of the name.
std::string unboundName(const std::string& path, const PeImage& image)
{
    for (const PeImport& imported : image.imports) {
        HMODULE module = GetModuleHandleA(imported.dll.c_str());
        if (!module)
            continue;   // not bound by name (an API set): the loader had it
        for (const std::string& wanted : imported.names) {
            bool byOrdinal = !wanted.empty() && wanted[0] == '#';
            FARPROC found = byOrdinal ? GetProcAddress(module, MAKEINTRESOURCEA(std::atoi(wanted.c_str() + 1)))
                                      : GetProcAddress(module, wanted.c_str());
            if (!found) {
                char bound[MAX_PATH];
                DWORD length = GetModuleFileNameA(module, bound, MAX_PATH);
                return "cannot load " + path + ": " + imported.dll + " does not export " + wanted + " (imported by "
                       + fileNameOf(path) + ")"
                       + (length > 0 && length < MAX_PATH ? "; the load took " + std::string(bound, length)
                                                          : std::string());
            }
        }
    }
    return std::string();
}

} // namespace

namespace platform {

LoadedComponent loadComponentLibrary(const std::string& path)
{
    LoadedComponent loaded;
    // With a full path and the altered search path, the component's own
    // folder is searched first for the libraries it imports (zorv_string.dll
    // beside it), not this program's.
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    bool haveFull = length > 0 && length < MAX_PATH;
    const std::string where = haveFull ? std::string(full) : path;
    PeImage image = readPeImage(where);
    if (image.error.empty() && !image.dll) {
        loaded.error = "cannot load " + path + ": it is a program, not a DLL";
        return loaded;
    }
    // Wine maps an image of the other machine that has no code to run, and
    // Windows may too; none is a component this program can drive.
    if (image.error.empty() && image.machine != ownMachine()) {
        loaded.error = "cannot load " + path + ": " + describeMachine(image.machine) + "; " + ownMachineRule();
        return loaded;
    }
    // A failing load must not raise a message box on the integrator's screen.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = haveFull ? LoadLibraryExA(full, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                              : LoadLibraryA(path.c_str());
    DWORD code = module ? 0 : GetLastError();
    SetErrorMode(oldMode);
    if (!module) {
        loaded.error = explainFailure(path, where, image, haveFull ? SearchOrder::altered : SearchOrder::plain, code);
        return loaded;
    }
    loaded.library = module;
    std::string missing = unboundName(path, image);
    if (!missing.empty()) {
        loaded.error = missing;
        return loaded;
    }
    FARPROC symbol = GetProcAddress(module, ZORV_PLUGIN_ENTRY_NAME);
    if (!symbol) {
        loaded.error = path + " does not export " ZORV_PLUGIN_ENTRY_NAME;
        loaded.exportsNoFactory = true;
        return loaded;
    }
    loaded.factory = reinterpret_cast<component_factory>(reinterpret_cast<void*>(symbol));
    return loaded;
}

void unloadLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

bool preloadLibrary(const std::string& path, std::string& error)
{
    if (LoadLibraryA(path.c_str()))
        return true;
    error = "cannot be loaded (error " + std::to_string(GetLastError()) + ")";
    return false;
}

} // namespace platform

} // namespace zorv_host
