#include "preflight.h"

#include <cstdlib>
#include <iostream>

#include <nlohmann/json.hpp>

#include "child_process.h"
#include "pe_image.h"

#if defined(_WIN32)
#include <windows.h>
// windows.h first: these need its types.
#include <dbghelp.h>
#include <winver.h>
#else
#include <dlfcn.h>
#endif

namespace zorv_host {

const char textLibraryVariable[] = "ZORV_TEXT_LIBRARY";

namespace {

const char textLibraryName[] = "zorv_string.dll";

bool sameName(std::string a, std::string b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

void print(const std::vector<PreflightItem>& items, const PreflightOptions& options)
{
    bool all = true;
    for (const PreflightItem& item : items)
        all = all && item.pass;
    if (options.json) {
        nlohmann::json list = nlohmann::json::array();
        for (const PreflightItem& item : items)
            list.push_back({{"item", item.item}, {"status", item.pass ? "PASS" : "FAIL"}, {"detail", item.detail}});
        std::cout << nlohmann::json{{"schema", 1}, {"component", options.component}, {"items", list}, {"pass", all}}
                         .dump(2)
                  << "\n";
        return;
    }
    for (const PreflightItem& item : items)
        std::cout << (item.pass ? "PASS " : "FAIL ") << item.item << ": " << item.detail << "\n";
    std::cout << (all ? "ready to deploy" : "not ready to deploy") << "\n";
}

#if defined(_WIN32)

std::string folderOf(const std::string& path)
{
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string fullPath(const std::string& path)
{
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full) : path;
}

bool fileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

PreflightItem windowsVersion(const PeImage& image)
{
    using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    auto call = reinterpret_cast<RtlGetVersionCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    if (!call || call(&version) != 0) {
        return {"windows", false, "the Windows version cannot be read"};
    }
    const bool allowed = version.dwMajorVersion > image.subsystemMajor
                         || (version.dwMajorVersion == image.subsystemMajor
                             && version.dwMinorVersion >= image.subsystemMinor);
    std::string detail = "Windows " + std::to_string(version.dwMajorVersion) + "."
                         + std::to_string(version.dwMinorVersion) + " build " + std::to_string(version.dwBuildNumber)
                         + "; the component's header asks for " + std::to_string(image.subsystemMajor) + "."
                         + std::to_string(image.subsystemMinor) + " or later (operating system "
                         + std::to_string(image.osMajor) + "." + std::to_string(image.osMinor) + ")";
    return {"windows", allowed, detail};
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

// Where the host's loader finds dll: the text library given, the
// component's own folder (the host loads components by full path), then the
// usual search from the host's folder.
std::string locate(const std::string& dll, const std::string& componentFolder, const std::string& textLibrary)
{
    if (sameName(dll, textLibraryName) && !textLibrary.empty())
        return fileExists(textLibrary) ? fullPath(textLibrary) : std::string();
    if (HMODULE loaded = GetModuleHandleA(dll.c_str())) {
        char path[MAX_PATH];
        if (GetModuleFileNameA(loaded, path, MAX_PATH) > 0)
            return path;
    }
    std::string beside = componentFolder + "\\" + dll;
    if (fileExists(beside))
        return fullPath(beside);
    char found[MAX_PATH];
    if (SearchPathA(nullptr, dll.c_str(), nullptr, MAX_PATH, found, nullptr) > 0)
        return found;
    return std::string();
}

std::vector<PreflightItem> importItems(const PeImage& image, const PreflightOptions& options)
{
    std::vector<PreflightItem> items;
    const std::string componentFolder = folderOf(fullPath(options.component));
    for (const PeImport& import : image.imports) {
        std::string path = locate(import.dll, componentFolder, options.textLibrary);
        if (path.empty()) {
            items.push_back({"imports " + import.dll, false, import.dll + " not found"});
            continue;
        }
        HMODULE module = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        if (!module) {
            items.push_back({"imports " + import.dll, false,
                             path + " found but cannot be loaded (error " + std::to_string(GetLastError()) + ")"});
            continue;
        }
        items.push_back({"imports " + import.dll, true, path});
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
        items.push_back({"names from " + import.dll, missingCount == 0,
                         missingCount == 0 ? std::to_string(import.names.size()) + " names, all resolved"
                                           : std::to_string(missingCount) + " of " + std::to_string(import.names.size())
                                                 + " missing: " + missing});
        FreeLibrary(module);
    }
    return items;
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
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(component.c_str(), &ignored);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoA(component.c_str(), 0, size, block.data()))
        return {"version record", false, "the component has no version record"};
    struct Translation {
        WORD language, codePage;
    };
    Translation* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length)
        || length < sizeof(Translation))
        return {"version record", false, "the version record has no translation table"};
    char table[16];
    std::snprintf(table, sizeof table, "%04x%04x", translation->language, translation->codePage);
    const std::string fileVersion = versionString(block, table, "FileVersion");
    const std::string productVersion = versionString(block, table, "ProductVersion");
    const std::string description = versionString(block, table, "FileDescription");
    const bool complete = !fileVersion.empty() && !productVersion.empty() && !description.empty();
    return {"version record", complete,
            "FileVersion " + (fileVersion.empty() ? "missing" : fileVersion) + ", ProductVersion "
                + (productVersion.empty() ? "missing" : productVersion) + ", \""
                + (description.empty() ? "no description" : description) + "\""};
}

PreflightItem quickValidation(const PreflightOptions& options)
{
    if (!options.textLibrary.empty())
        SetEnvironmentVariableA(textLibraryVariable, fullPath(options.textLibrary).c_str());
    ChildOutcome child = runSelf({"validate", options.component, "--strictness", "1", "--seed", "1"}, 300);
    std::string summary, failures;
    std::size_t start = 0;
    while (start < child.out.size()) {
        std::size_t end = child.out.find('\n', start);
        std::string line = child.out.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("FAIL", 0) == 0)
            failures += "; " + line;
        if (line.find(" passed, ") != std::string::npos)
            summary = line;
        start = end == std::string::npos ? child.out.size() : end + 1;
    }
    if (!child.started)
        return {"validate", false, "zorv-host.exe could not run itself: " + child.description};
    if (summary.empty())
        summary = child.description + (child.err.empty() ? "" : ": " + child.err);
    return {"validate", child.exitCode == 0 && !child.crashed && !child.timedOut,
            "strictness 1: " + summary + failures};
}

#endif

} // namespace

bool applyTextLibraryOverride(std::string& error)
{
    const char* path = std::getenv(textLibraryVariable);
    if (!path || !*path)
        return true;
#if defined(_WIN32)
    // Once a module of that name is loaded, the loader binds later imports of
    // zorv_string.dll to it, wherever the component lies.
    if (LoadLibraryA(path))
        return true;
    error = std::string(textLibraryVariable) + "=" + path + ": cannot be loaded (error "
            + std::to_string(GetLastError()) + ")";
#else
    if (dlopen(path, RTLD_NOW | RTLD_GLOBAL))
        return true;
    const char* why = dlerror();
    error = std::string(textLibraryVariable) + "=" + path + ": " + (why ? why : "cannot be loaded");
#endif
    return false;
}

int runPreflight(const PreflightOptions& options)
{
#if defined(_WIN32)
    std::vector<PreflightItem> items;
    std::string error;
    std::optional<PeImage> image = readPeImage(options.component, error);
    if (!image) {
        items.push_back({"image", false, error});
    } else if (image->machine != 0x14C || image->is64) {
        items.push_back({"image", false, options.component + " is not a 32-bit (i386) image; the host is 32-bit"});
    } else if (!image->isDll) {
        items.push_back({"image", false, options.component + " is not a DLL"});
    } else {
        items.push_back({"image", true, "a 32-bit DLL"});
        items.push_back(windowsVersion(*image));
        for (const PreflightItem& item : importItems(*image, options))
            items.push_back(item);
        items.push_back(versionRecord(options.component));
        items.push_back(quickValidation(options));
    }
    print(items, options);
    bool all = true;
    for (const PreflightItem& item : items)
        all = all && item.pass;
    return all ? 0 : 1;
#else
    (void)print;
    (void)sameName;
    (void)textLibraryName;
    std::cerr << "zorv-host: preflight checks a DLL on the Windows machine it will run on: "
                 "run zorv-host.exe preflight there (or under Wine)\n";
    (void)options;
    return 2;
#endif
}

} // namespace zorv_host
