#include "platform/preflight_items.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <windows.h>
// windows.h first: these need its types.
#include <dbghelp.h>
#include <winver.h>

#include "library_loader.h"
#include "load_path.h"
#include "platform/files.h"
#include "platform/load_search_windows.h"

namespace zorv_host {

namespace {

const char textLibraryName[] = "zorv_string.dll";

bool sameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

PreflightItem windowsVersion(const PeImage& image)
{
    using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    auto call = reinterpret_cast<RtlGetVersionCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    if (!call || call(&version) != 0)
        return {"windows", PreflightStatus::fail, "the Windows version cannot be read", {}};
    const bool allowed = version.dwMajorVersion > image.subsystemMajor
                         || (version.dwMajorVersion == image.subsystemMajor
                             && version.dwMinorVersion >= image.subsystemMinor);
    std::string detail = "Windows " + std::to_string(version.dwMajorVersion) + "."
                         + std::to_string(version.dwMinorVersion) + " build " + std::to_string(version.dwBuildNumber)
                         + "; the component's header asks for " + std::to_string(image.subsystemMajor) + "."
                         + std::to_string(image.subsystemMinor) + " or later (operating system "
                         + std::to_string(image.osMajor) + "." + std::to_string(image.osMinor) + ")";
    return {"windows", allowed ? PreflightStatus::pass : PreflightStatus::fail, detail, {}};
}

// How a missing name reads to a person: "zorv_string::arg(int, char,
// unsigned int, int) const" rather than the mangled form.
std::string readableName(const std::string& mangled)
{
    char text[1024];
    const DWORD flags = UNDNAME_NO_ACCESS_SPECIFIERS | UNDNAME_NO_MS_KEYWORDS | UNDNAME_NO_FUNCTION_RETURNS
                        | UNDNAME_NO_MEMBER_TYPE;
    if (UnDecorateSymbolName(mangled.c_str(), text, sizeof text, flags) == 0)
        return mangled;
    std::string readable;
    for (const char* c = text; *c; ++c) {
        readable += *c;
        if (*c == ',' && c[1] != ' ')
            readable += ' ';
        if (*c == ')' && c[1] != '\0' && c[1] != ' ' && c[1] != ',' && c[1] != ')')
            readable += ' ';   // ")const" -> ") const"
    }
    return readable;
}

// The two orders a component's imports may be looked for in: the panel
// host's (a plain load of the component's full path: the host program's
// folder first) and zorv-host.exe's own (the altered search path: the
// component's folder first).
struct Orders {
    SearchPlaces places;
    std::vector<std::string> host, altered;
    bool hostFolderGiven = false;
};

Orders searchOrders(const PreflightOptions& options, const std::string& component)
{
    Orders orders;
    orders.places = searchPlacesHere(component);
    orders.hostFolderGiven = !options.hostFolder.empty();
    if (orders.hostFolderGiven)
        orders.places.programFolder = platform::fullPath(options.hostFolder);
    orders.host = searchFolders(SearchOrder::plain, orders.places);
    orders.altered = searchFolders(SearchOrder::altered, orders.places);
    return orders;
}

std::string finding(const Located& located, const std::vector<std::string>& folders, const std::string& dll)
{
    std::string passedOver;
    for (const std::string& skipped : located.skipped)
        passedOver += "; passed over " + skipped;
    if (!located.unusable.empty())
        return "takes " + located.unusable + passedOver;
    if (!located.path.empty())
        return "finds " + located.path + passedOver;
    return "finds no " + dll + " (searched, in order: " + listFolders(folders) + ")" + passedOver;
}

// The order assumed for the panel host, and what each order finds of the
// text library: one NOTE, whatever they find.
PreflightItem searchOrderNote(const Orders& orders)
{
    PreflightItem note{"search order", PreflightStatus::note,
                       "assumed for the panel host: a plain load of the component's full path, which looks for its "
                       "imports in the host program's folder first ("
                           + orders.places.programFolder
                           + (orders.hostFolderGiven ? ", given with --host-folder"
                                                     : ", this program's; --host-folder names the panel host's")
                           + "), not in the component's, then in the system folders, the current folder and PATH",
                       {}};
    note.lines.push_back({"", "plain load (the panel host)",
                          finding(locateAlong(textLibraryName, orders.host, ownMachine()), orders.host,
                                  textLibraryName)});
    note.lines.push_back({"", "altered search path (zorv-host.exe; the component's folder first)",
                          finding(locateAlong(textLibraryName, orders.altered, ownMachine()), orders.altered,
                                  textLibraryName)});
    return note;
}

// Whether the module has every name import asks of it.
PreflightItem namesItem(const std::string& item, const PeImport& import, HMODULE module)
{
    std::string missing;
    int missingCount = 0;
    for (const std::string& name : import.names) {
        bool byOrdinal = !name.empty() && name[0] == '#';
        FARPROC address = byOrdinal ? GetProcAddress(module, MAKEINTRESOURCEA(std::atoi(name.c_str() + 1)))
                                    : GetProcAddress(module, name.c_str());
        if (!address) {
            missing += std::string(missing.empty() ? "" : "; ") + readableName(name);
            ++missingCount;
        }
    }
    return {item, missingCount == 0 ? PreflightStatus::pass : PreflightStatus::fail,
            missingCount == 0 ? std::to_string(import.names.size()) + " names, all resolved"
                              : std::to_string(missingCount) + " of " + std::to_string(import.names.size())
                                    + " missing: " + missing,
            {}};
}

struct ImportFinding {
    std::vector<PreflightItem> items;
    std::string textLibrary;   // where the host's load takes zorv_string.dll from; empty: nowhere
    std::string firstFailure;  // the first item that failed; empty: none
};

// Each imported DLL as the panel host's load finds it, and its names.
ImportFinding importItems(const PeImage& image, const PreflightOptions& options, const Orders& orders)
{
    ImportFinding found;
    auto add = [&found](PreflightItem item) {
        if (item.status == PreflightStatus::fail && found.firstFailure.empty())
            found.firstFailure = item.item;
        found.items.push_back(std::move(item));
    };
    for (const PeImport& import : image.imports) {
        const std::string what = "imports " + import.dll, names = "names from " + import.dll;
        const bool textLibrary = sameName(import.dll, textLibraryName);
        std::string path;
        if (textLibrary && !options.textLibrary.empty()) {
            path = platform::fullPath(options.textLibrary);
        } else {
            Located located = locateAlong(import.dll, orders.host, ownMachine());
            if (located.path.empty()) {
                std::string passedOver;
                for (const std::string& skipped : located.skipped)
                    passedOver += "; passed over " + skipped;
                std::string detail = located.unusable.empty()
                                         ? import.dll + " not found by the panel host's plain load (searched, in order: "
                                               + listFolders(orders.host) + ")" + passedOver
                                         : "the panel host's plain load takes " + located.unusable + passedOver;
                Located altered = locateAlong(import.dll, orders.altered, ownMachine());
                if (!altered.path.empty())
                    detail += "; only the altered search path, which the host does not use, finds " + altered.path;
                add({what, PreflightStatus::fail, detail, {}});
                found.items.push_back(notRunBecause(names, what));
                continue;
            }
            path = located.path;
        }
        HMODULE module = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        if (!module) {
            add({what, PreflightStatus::fail,
                 path + " found but cannot be loaded (Windows error " + std::to_string(GetLastError()) + ")", {}});
            found.items.push_back(notRunBecause(names, what));
            continue;
        }
        add({what, PreflightStatus::pass,
             path + (textLibrary && !options.textLibrary.empty() ? " (given with --text-library)" : ""), {}});
        if (textLibrary)
            found.textLibrary = path;
        add(namesItem(names, import, module));
        FreeLibrary(module);
    }
    return found;
}

std::string versionString(const std::vector<char>& block, const std::string& table, const char* key)
{
    void* value = nullptr;
    UINT length = 0;
    std::string query = "\\StringFileInfo\\" + table + "\\" + key;
    if (VerQueryValueA(block.data(), query.c_str(), &value, &length) && value && length > 0)
        return std::string(static_cast<const char*>(value));
    return std::string();
}

PreflightItem versionRecord(const std::string& component)
{
    const char* item = "version record";
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(component.c_str(), &ignored);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoA(component.c_str(), 0, size, block.data()))
        return {item, PreflightStatus::fail, "the component has no version record", {}};
    struct Translation {
        WORD language, codePage;
    };
    Translation* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length)
        || length < sizeof(Translation))
        return {item, PreflightStatus::fail, "the version record has no translation table", {}};
    char table[16];
    std::snprintf(table, sizeof table, "%04x%04x", translation->language, translation->codePage);
    const std::string fileVersion = versionString(block, table, "FileVersion");
    const std::string productVersion = versionString(block, table, "ProductVersion");
    const std::string description = versionString(block, table, "FileDescription");
    const bool complete = !fileVersion.empty() && !productVersion.empty() && !description.empty();
    return {item, complete ? PreflightStatus::pass : PreflightStatus::fail,
            "FileVersion " + (fileVersion.empty() ? "missing" : fileVersion) + ", ProductVersion "
                + (productVersion.empty() ? "missing" : productVersion) + ", \""
                + (description.empty() ? "no description" : description) + "\"",
            {}};
}

// The image item: a DLL of the machine this zorv-host.exe loads. The
// 64-bit test build checks 64-bit DLLs against its own machine.
PreflightItem imageItem(const std::string& component, const PeImage& image)
{
    if (!image.error.empty())
        return {"image", PreflightStatus::fail, component + ": " + image.error, {}};
    if (image.machine != ownMachine())
        return {"image", PreflightStatus::fail,
                component + " is " + describeMachine(image.machine) + "; " + ownMachineRule(), {}};
    if (!image.dll)
        return {"image", PreflightStatus::fail, component + " is a program, not a DLL", {}};
    return {"image", PreflightStatus::pass,
            ownMachine() == peMachineI386
                ? "a 32-bit DLL"
                : "a 64-bit (x64) DLL, checked by the 64-bit test build of zorv-host.exe against its own machine "
                  "(the panel host loads 32-bit DLLs)",
            {}};
}

} // namespace

namespace platform {

bool preflightItems(const PreflightOptions& options, std::vector<PreflightItem>& items, LoaderFinding& found)
{
    const std::string component = platform::fullPath(options.component);
    PeImage image = readPeImage(component);
    items.push_back(imageItem(options.component, image));
    if (items.back().status != PreflightStatus::pass)
        return true;
    items.push_back(windowsVersion(image));
    const Orders orders = searchOrders(options, component);
    items.push_back(searchOrderNote(orders));
    ImportFinding imports = importItems(image, options, orders);
    items.insert(items.end(), imports.items.begin(), imports.items.end());
    items.push_back(versionRecord(options.component));
    found = LoaderFinding{true, imports.textLibrary, imports.firstFailure};
    return true;
}

} // namespace platform

} // namespace zorv_host
