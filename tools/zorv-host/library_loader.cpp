#include "library_loader.h"

#include "zorv_plugin_entry.h"

#include <cstdint>

#include "pe_image.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zorv_host {

#if defined(_WIN32)

namespace {

// The image's machine in words.
std::string describeMachine(uint16_t machine)
{
    switch (machine) {
    case 0x8664: return "a 64-bit (x64) image";
    case 0xAA64: return "a 64-bit ARM image";
    case 0x01C4: return "an ARM image";
    default: {
        const char* digits = "0123456789abcdef";
        std::string out = "an image for machine 0x";
        for (int shift = 12; shift >= 0; shift -= 4)
            out += digits[(machine >> shift) & 0xF];
        return out;
    }
    }
}

const uint16_t machineI386 = 0x14C;

} // namespace

namespace {

// What Windows says about the failure is a number; the reasons an integrator
// meets are told apart here by looking at the file and its imports.
std::string folderOf(const std::string& path)
{
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string nameOf(const std::string& path)
{
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// A DLL the component imports, looked for as the loader would: the
// component's folder first, then the standard search.
HMODULE findImported(const std::string& componentFolder, const std::string& dll, DWORD flags)
{
    HMODULE module = nullptr;
    if (!componentFolder.empty())
        module = LoadLibraryExA((componentFolder + dll).c_str(), nullptr, flags);
    return module ? module : LoadLibraryExA(dll.c_str(), nullptr, flags);
}

// The first import of image that cannot be had, in words; "" when all can.
std::string missingImport(const std::string& path, const std::string& full, const PeImage& image)
{
    const std::string folder = folderOf(full);
    for (const PeImport& imported : image.imports) {
        HMODULE module = findImported(folder, imported.dll, DONT_RESOLVE_DLL_REFERENCES);
        if (!module)
            return "cannot load " + path + ": " + imported.dll + " not found (imported by " + nameOf(path) +
                   "; looked in " + (folder.empty() ? std::string(".") : folder) + " and the standard places)";
        for (const std::string& name : imported.names) {
            bool byOrdinal = !name.empty() && name[0] == '#';
            FARPROC found = byOrdinal ? GetProcAddress(module, MAKEINTRESOURCEA(std::stoi(name.substr(1))))
                                      : GetProcAddress(module, name.c_str());
            if (!found) {
                FreeLibrary(module);
                return "cannot load " + path + ": " + imported.dll + " does not export " + name +
                       " (imported by " + nameOf(path) + ")";
            }
        }
        FreeLibrary(module);
    }
    return std::string();
}

std::string explainFailure(const std::string& path, const std::string& full, DWORD code)
{
    DWORD attributes = GetFileAttributesA(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return "cannot load " + path + ": file not found";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return "cannot load " + path + ": it is a folder, not a DLL";
    std::string unreadable;
    std::optional<PeImage> read = readPeImage(full, unreadable);
    if (!read)
        return "cannot load " + path + ": " + unreadable;
    const PeImage& image = *read;
    if (image.machine != machineI386)
        return "cannot load " + path + ": " + describeMachine(image.machine) +
               "; the panel host loads 32-bit (i386) DLLs only";
    if (!image.isDll)
        return "cannot load " + path + ": it is a program, not a DLL";
    std::string missing = missingImport(path, full, image);
    if (!missing.empty())
        return missing;
    return "cannot load " + path + ": Windows error " + std::to_string(code) +
           " (every imported DLL and name was found; its entry point may have refused)";
}

} // namespace

ComponentLibrary::ComponentLibrary(const std::string& path)
{
    // With a full path, the component's own folder is searched first for the
    // libraries it imports (zorv_string.dll beside it).
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    bool haveFull = length > 0 && length < MAX_PATH;
    std::string unreadable;
    std::optional<PeImage> image = readPeImage(haveFull ? std::string(full) : path, unreadable);
    if (image && !image->isDll) {
        error_ = "cannot load " + path + ": it is a program, not a DLL";
        return;
    }
    // A failing load must not raise a message box on the integrator's screen.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = haveFull ? LoadLibraryExA(full, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                              : LoadLibraryA(path.c_str());
    DWORD code = module ? 0 : GetLastError();
    SetErrorMode(oldMode);
    if (!module) {
        error_ = explainFailure(path, haveFull ? std::string(full) : path, code);
        return;
    }
    handle_ = module;
    // Windows refuses a DLL with an import it cannot resolve; Wine loads it
    // with a trap in place of the name. Either way the host should not run it.
    std::string missing = image ? missingImport(path, haveFull ? std::string(full) : path, *image) : std::string();
    if (!missing.empty()) {
        error_ = missing;
        return;
    }
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
