#include "load_path.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "library_loader.h"
#include "platform/system.h"

namespace zorv_host {

std::string trimmedFolder(std::string folder)
{
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/') && folder[folder.size() - 2] != ':')
        folder.pop_back();
    return folder;
}

std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

namespace {

std::string inFolder(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        return folder + name;
    return folder + platform::pathSeparator() + name;
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
        std::string plain = trimmedFolder(folder);
        if (!plain.empty() && seen.insert(lowerCase(plain)).second)
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

uint16_t ownMachine() { return platform::loadedMachine(); }

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

} // namespace zorv_host
