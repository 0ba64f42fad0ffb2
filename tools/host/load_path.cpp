#include "load_path.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "child_process.h"
#include "library_loader.h"
#include "vocabulary.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace zorv_host {

namespace {

#if defined(_WIN32)
const char separator = '\\';
#else
const char separator = '/';
#endif

// A folder as written, less trailing separators ("C:\" stays whole).
std::string trimmed(std::string folder)
{
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/') && folder[folder.size() - 2] != ':')
        folder.pop_back();
    return folder;
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string inFolder(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        return folder + name;
    return folder + separator + name;
}

} // namespace

std::string describeOrder(SearchOrder order)
{
    return order == SearchOrder::plain ? "a plain load (the program's folder first)"
                                       : "the altered search path (the library's folder first)";
}

std::vector<std::string> searchFolders(SearchOrder order, const SearchPlaces& places)
{
    std::vector<std::string> all{order == SearchOrder::plain ? places.programFolder : places.libraryFolder};
    all.insert(all.end(), places.systemFolders.begin(), places.systemFolders.end());
    all.push_back(places.currentFolder);
    all.insert(all.end(), places.path.begin(), places.path.end());
    std::vector<std::string> folders;
    std::set<std::string> seen;
    for (const std::string& folder : all) {
        std::string plain = trimmed(folder);
        if (!plain.empty() && seen.insert(lower(plain)).second)
            folders.push_back(plain);
    }
    return folders;
}

std::string listFolders(const std::vector<std::string>& folders)
{
    std::string list;
    for (const std::string& folder : folders)
        list += (list.empty() ? "" : "; ") + folder;
    return list;
}

uint16_t ownMachine()
{
#if defined(_WIN64)
    return 0x8664;
#else
    return peMachineI386;
#endif
}

std::string ownMachineRule()
{
    return ownMachine() == peMachineI386
               ? "the panel host loads 32-bit (i386) DLLs only"
               : "this 64-bit test build of zorv-host.exe loads 64-bit (x64) DLLs only (the panel host: 32-bit ones)";
}

Located locateAlong(const std::string& dll, const std::vector<std::string>& folders, uint16_t machine)
{
    Located located;
    for (const std::string& folder : folders) {
        const std::string path = inFolder(folder, dll);
        PeImage image = readPeImage(path);
        if (image.missing)
            continue;
        if (!image.error.empty()) {
            located.unusable = path + ": " + image.error;
            return located;
        }
        if (image.machine != machine) {
            located.skipped.push_back(path + " (" + describeMachine(image.machine) + ")");
            continue;
        }
        located.path = path;
        return located;
    }
    return located;
}

#if defined(_WIN32)

namespace {

// API sets are resolved by the system from its schema, never from a folder.
bool apiSet(const std::string& dll)
{
    const std::string name = lower(dll);
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
        if (!search.visited.insert(lower(imported.dll)).second)
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
        if (!foundAt.empty() && depth < 16 && !search.systemFolders.count(lower(folderOf(foundAt)))) {
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
        search.systemFolders.insert(lower(trimmed(folder)));
    return missingIn(library, fileNameOf(library), search, 0);
}

#endif

} // namespace zorv_host
