#include "platform/load_search_windows.h"

#include <cstdlib>
#include <set>
#include <windows.h>

#include "library_loader.h"
#include "paths.h"

namespace zorv_host {

namespace {

// API sets are resolved by the system from its schema, never from a folder.
bool apiSet(const std::string& dll)
{
    const std::string name = lowerCase(dll);
    return name.rfind("api-ms-", 0) == 0 || name.rfind("ext-ms-", 0) == 0;
}

struct Search {
    std::vector<std::string> folders;
    std::set<std::string> systemFolders;   // lower case; what is found there is the system's own
    std::set<std::string> visited;          // DLLs already looked at, lower case
};

// The first import of file (imported through chain: "Selvarin.dll", or
// "x.dll, imported by Selvarin.dll") that cannot be had; "" when all can.
std::string missingIn(const std::string& file, const std::string& chain, Search& search, int depth)
{
    const PeImage image = readPeImage(file);
    for (const PeImport& imported : image.imports) {
        if (!search.visited.insert(lowerCase(imported.dll)).second)
            continue;
        // A module of that name already in the process is what the loader
        // binds to, wherever it came from; so is an API set.
        HMODULE module = GetModuleHandleA(imported.dll.c_str());
        bool ours = false;   // loaded here for the look, freed after it
        std::string foundAt;
        if (!module && apiSet(imported.dll)) {
            module = LoadLibraryExA(imported.dll.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
            ours = module != nullptr;
        }
        if (!module) {
            Located located = locateAlong(imported.dll, search.folders, ownMachine());
            std::string passedOver;
            for (const std::string& skipped : located.skipped)
                passedOver += "; passed over " + skipped;
            if (!located.unusable.empty())
                return imported.dll + " (imported by " + chain + ") cannot be loaded: " + located.unusable
                       + passedOver + "; searched, in order: " + listFolders(search.folders);
            if (located.path.empty())
                return imported.dll + " not found (imported by " + chain + "); the load searched, in order: "
                       + listFolders(search.folders) + passedOver;
            module = LoadLibraryExA(located.path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
            if (!module)
                return imported.dll + " (imported by " + chain + ") found at " + located.path
                       + " but cannot be loaded (Windows error " + std::to_string(GetLastError()) + ")";
            ours = true;
            foundAt = located.path;
        }
        std::string missingName;
        for (const std::string& name : imported.names) {
            bool byOrdinal = !name.empty() && name[0] == '#';
            FARPROC address = byOrdinal ? GetProcAddress(module, MAKEINTRESOURCEA(std::atoi(name.c_str() + 1)))
                                        : GetProcAddress(module, name.c_str());
            if (!address) {
                missingName = name;
                break;
            }
        }
        if (ours)
            FreeLibrary(module);
        if (!missingName.empty())
            return imported.dll + " does not export " + missingName + " (imported by " + chain + ")"
                   + (foundAt.empty() ? std::string() : "; the load took " + foundAt);
        // What a DLL found outside the system's folders imports is looked
        // for along the same folders: the loader searches them for the
        // whole load.
        if (!foundAt.empty() && depth < 16 && !search.systemFolders.count(lowerCase(folderOf(foundAt)))) {
            std::string deeper = missingIn(foundAt, imported.dll + ", imported by " + chain, search, depth + 1);
            if (!deeper.empty())
                return deeper;
        }
    }
    return std::string();
}

std::string windowsFolder(UINT (WINAPI *get)(LPSTR, UINT))
{
    char folder[MAX_PATH];
    UINT length = get(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(folder, length) : std::string();
}

} // namespace

SearchPlaces searchPlacesHere(const std::string& library)
{
    SearchPlaces places;
    places.programFolder = thisProgramFolder();
    places.libraryFolder = folderOf(library);
    const std::string system = windowsFolder(GetSystemDirectoryA);
    const std::string windows = windowsFolder(GetWindowsDirectoryA);
    places.systemFolders = {system, windows.empty() ? std::string() : windows + "\\System", windows};
    char buffer[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
    if (length > 0 && length < MAX_PATH)
        places.currentFolder = std::string(buffer, length);
    length = GetEnvironmentVariableA("PATH", nullptr, 0);
    std::string path(length, '\0');
    if (length > 0) {
        DWORD got = GetEnvironmentVariableA("PATH", &path[0], length);
        path.resize(got < length ? got : 0);
    }
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find(';', start);
        if (end == std::string::npos)
            end = path.size();
        places.path.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return places;
}

std::string missingAlong(const std::string& library, SearchOrder order, const SearchPlaces& places)
{
    Search search;
    search.folders = searchFolders(order, places);
    for (const std::string& folder : places.systemFolders)
        search.systemFolders.insert(lowerCase(trimmedFolder(folder)));
    return missingIn(library, fileNameOf(library), search, 0);
}

} // namespace zorv_host
