// Where Windows looks for the DLLs a library imports, and what it finds
// there. The loader's diagnosis of a failed load and preflight both search
// the folders a given kind of load searches, in its order, so that what
// they report is what that load met.
#ifndef ZORV_HOST_LOAD_PATH_H
#define ZORV_HOST_LOAD_PATH_H

#include <cstdint>
#include <string>
#include <vector>

namespace zorv_host {

// The two ways a library is loaded by its full path. A plain load (what the
// panel host does) looks for the library's imports in the loading program's
// folder first; a load with LOAD_WITH_ALTERED_SEARCH_PATH (what zorv-host
// does) looks in the library's own folder first. Both then search the
// system folders, the current folder and PATH.
enum class SearchOrder { plain, altered };

// "a plain load (the program's folder first)" and the like.
std::string describeOrder(SearchOrder order);

struct SearchPlaces {
    std::string programFolder;               // the loading program's folder
    std::string libraryFolder;               // the folder of the library loaded by full path
    std::vector<std::string> systemFolders;  // system, 16-bit system, Windows, in that order
    std::string currentFolder;
    std::vector<std::string> path;           // PATH's entries, in order
};

// The folders a load searches, in order; each once (the first time it comes
// up, letter case and a trailing separator aside), empty entries left out.
std::vector<std::string> searchFolders(SearchOrder order, const SearchPlaces& places);

// A folder as written, less trailing separators ("C:\" stays whole).
std::string trimmedFolder(std::string folder);

// text in lower case (ASCII), for comparing names as Windows does.
std::string lowerCase(std::string text);

// "A; B; C".
std::string listFolders(const std::vector<std::string>& folders);

// The machine this build loads: i386, or x64 in the 64-bit test build.
uint16_t ownMachine();

// The first file named dll in folders that the loader would take: one of
// the own machine. Files of another machine are passed over, as the loader
// does, and named in skipped; a file that is no image at all stops the
// search (the loader gives up there), named in unusable.
struct Located {
    std::string path;                   // empty: none taken
    std::vector<std::string> skipped;   // "FOLDER\x.dll (a 64-bit (x64) image)"
    std::string unusable;               // "FOLDER\x.dll: not a Windows DLL (no MZ header)"
};
Located locateAlong(const std::string& dll, const std::vector<std::string>& folders, uint16_t machine);

// "the panel host loads 32-bit (i386) DLLs only", or what the 64-bit test
// build loads.
std::string ownMachineRule();

} // namespace zorv_host

#endif
