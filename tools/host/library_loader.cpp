#include "library_loader.h"

#include "load_path.h"
#include "vocabulary.h"
#include "zorv_plugin_entry.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zorv_host {

namespace {

uint32_t read32(const std::string& b, size_t at)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

uint16_t read16(const std::string& b, size_t at)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

struct Section {
    uint32_t address, size, fileOffset, fileSize;
};

// File offset of a relative virtual address, or 0 when no section holds it.
size_t fileOffset(const std::vector<Section>& sections, uint32_t rva)
{
    for (const Section& s : sections)
        if (rva >= s.address && rva - s.address < (s.size > s.fileSize ? s.size : s.fileSize) &&
            rva - s.address < s.fileSize)
            return s.fileOffset + (rva - s.address);
    return 0;
}

// A NUL-terminated name at offset, or "" when it runs off the file.
std::string nameAt(const std::string& b, size_t at)
{
    if (at == 0 || at >= b.size())
        return std::string();
    size_t end = b.find('\0', at);
    return end == std::string::npos ? std::string() : b.substr(at, end - at);
}

} // namespace

std::string describeMachine(uint16_t machine)
{
    switch (machine) {
    case peMachineI386: return "a 32-bit (i386) image";
    case 0x8664: return "a 64-bit (x64) image";
    case 0xAA64: return "a 64-bit ARM image";
    case 0x01C4: return "an ARM image";
    default: return "an image for machine 0x" + [machine] {
        const char* digits = "0123456789abcdef";
        std::string out;
        for (int shift = 12; shift >= 0; shift -= 4)
            out += digits[(machine >> shift) & 0xF];
        return out;
    }();
    }
}

PeImage readPeImage(const std::string& path)
{
    PeImage image;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        image.missing = true;
        image.error = "file not found";
        return image;
    }
    const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') {
        image.error = "not a Windows DLL (no MZ header)";
        return image;
    }
    size_t pe = read32(b, 0x3C);
    if (pe > b.size() || b.size() - pe < 24 || b.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
        image.error = "not a Windows DLL (no PE header)";
        return image;
    }
    image.machine = read16(b, pe + 4);
    uint16_t sectionCount = read16(b, pe + 6);
    uint16_t optionalSize = read16(b, pe + 20);
    image.dll = (read16(b, pe + 22) & 0x2000) != 0;
    size_t optional = pe + 24;
    if (b.size() - optional < optionalSize || optionalSize < 2) {
        image.error = "not a Windows DLL (its header is cut short)";
        return image;
    }
    uint16_t magic = read16(b, optional);
    if (optionalSize >= 52) {   // the same offsets in PE32 and PE32+
        image.osMajor = read16(b, optional + 40);
        image.osMinor = read16(b, optional + 42);
        image.subsystemMajor = read16(b, optional + 48);
        image.subsystemMinor = read16(b, optional + 50);
    }
    size_t directories = optional + (magic == 0x20B ? 112 : 96);
    size_t sectionTable = optional + optionalSize;
    if (magic != 0x10B && magic != 0x20B) {
        image.error = "not a Windows DLL (unknown optional header)";
        return image;
    }
    if (sectionTable + 40u * sectionCount > b.size()) {
        image.error = "not a Windows DLL (its section table is cut short)";
        return image;
    }
    std::vector<Section> sections;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        size_t at = sectionTable + 40u * i;
        sections.push_back({read32(b, at + 12), read32(b, at + 8), read32(b, at + 20), read32(b, at + 16)});
    }
    if (directories + 16 > sectionTable)
        return image;   // no import directory
    // Lookup entries are 4 bytes in PE32, 8 in PE32+, the top bit marking an ordinal.
    const size_t thunkSize = magic == 0x20B ? 8 : 4;
    size_t descriptor = fileOffset(sections, read32(b, directories + 8));
    // Import descriptors of 20 bytes, ending with an empty one.
    for (int guard = 0; descriptor != 0 && descriptor + 20 <= b.size() && guard < 512; ++guard, descriptor += 20) {
        uint32_t lookup = read32(b, descriptor), nameRva = read32(b, descriptor + 12);
        uint32_t thunks = read32(b, descriptor + 16);
        if (nameRva == 0)
            break;
        PeImport imported;
        imported.dll = nameAt(b, fileOffset(sections, nameRva));
        size_t thunk = fileOffset(sections, lookup ? lookup : thunks);
        for (int n = 0; thunk != 0 && thunk + thunkSize <= b.size() && n < 65536; ++n, thunk += thunkSize) {
            uint32_t entry = read32(b, thunk);
            uint32_t high = thunkSize == 8 ? read32(b, thunk + 4) : 0;
            if (entry == 0 && high == 0)
                break;
            if (thunkSize == 8 ? (high & 0x80000000u) != 0 : (entry & 0x80000000u) != 0)
                imported.names.push_back("#" + std::to_string(entry & 0xFFFF));
            else
                imported.names.push_back(nameAt(b, fileOffset(sections, entry) + 2));
        }
        if (!imported.dll.empty())
            image.imports.push_back(imported);
    }
    return image;
}

#if defined(_WIN32)

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

ComponentLibrary::ComponentLibrary(const std::string& path)
{
    // With a full path and the altered search path, the component's own
    // folder is searched first for the libraries it imports (zorv_string.dll
    // beside it), not this program's.
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    bool haveFull = length > 0 && length < MAX_PATH;
    const std::string where = haveFull ? std::string(full) : path;
    PeImage image = readPeImage(where);
    if (image.error.empty() && !image.dll) {
        error_ = "cannot load " + path + ": it is a program, not a DLL";
        return;
    }
    // Wine maps an image of the other machine that has no code to run, and
    // Windows may too; none is a component this program can drive.
    if (image.error.empty() && image.machine != ownMachine()) {
        error_ = "cannot load " + path + ": " + describeMachine(image.machine) + "; " + ownMachineRule();
        return;
    }
    // A failing load must not raise a message box on the integrator's screen.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = haveFull ? LoadLibraryExA(full, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                              : LoadLibraryA(path.c_str());
    DWORD code = module ? 0 : GetLastError();
    SetErrorMode(oldMode);
    if (!module) {
        error_ = explainFailure(path, where, image, haveFull ? SearchOrder::altered : SearchOrder::plain, code);
        return;
    }
    handle_ = module;
    std::string missing = unboundName(path, image);
    if (!missing.empty()) {
        error_ = missing;
        return;
    }
    FARPROC symbol = GetProcAddress(module, ZORV_PLUGIN_ENTRY_NAME);
    if (!symbol) {
        error_ = path + " does not export " ZORV_PLUGIN_ENTRY_NAME;
        noFactory_ = true;
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

ComponentLibrary::ComponentLibrary(const std::string& path)
{
    // A bare file name would make dlopen search the system paths.
    std::string target = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error_ = "cannot load " + path + ": " + (why ? why : "unknown error");
        // A Windows image is no fault of the file, only of where it runs.
        PeImage image = readPeImage(path);
        if (image.error.empty())
            error_ = "cannot load " + path + ": it is a Windows " + (image.dll ? "DLL, " : "program, ")
                     + describeMachine(image.machine) + "; " + windowsRunAdvice(image.machine, path);
        return;
    }
    void* symbol = dlsym(handle_, ZORV_PLUGIN_ENTRY_NAME);
    if (!symbol) {
        error_ = path + " does not export " ZORV_PLUGIN_ENTRY_NAME;
        noFactory_ = true;
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
