// Loads a component library and finds its factory.
#ifndef ZORV_HOST_LIBRARY_LOADER_H
#define ZORV_HOST_LIBRARY_LOADER_H

#include <cstdint>
#include <string>
#include <vector>

#include "component_abi.h"

namespace zorv_host {

// What the loader needs to know of a Windows image file to say why it
// would not load: read from the file itself, on any platform.
const uint16_t peMachineI386 = 0x14C;
const uint16_t peMachineAmd64 = 0x8664;

struct PeImport {
    std::string dll;
    std::vector<std::string> names;   // "#N" for an import by ordinal
};

struct PeImage {
    std::string error;   // empty when the file is a PE image; otherwise why not, in words
    bool missing = false;   // no such file (or it cannot be opened)
    uint16_t machine = 0;
    bool dll = false;
    uint16_t osMajor = 0, osMinor = 0;               // the Windows version the header asks for
    uint16_t subsystemMajor = 0, subsystemMinor = 0;
    std::vector<PeImport> imports;
};

PeImage readPeImage(const std::string& path);
std::string describeMachine(uint16_t machine);   // "a 64-bit (x64) image"

class ComponentLibrary {
public:
    // Loads path and resolves the factory; on failure error() says why in
    // words (no such file; which imported DLL is missing from the folders
    // the load searched, or which name it lacks; an image of another
    // machine, or no DLL) and factory() is null. The library stays loaded
    // until this object dies.
    explicit ComponentLibrary(const std::string& path);
    ~ComponentLibrary();
    ComponentLibrary(const ComponentLibrary&) = delete;
    ComponentLibrary& operator=(const ComponentLibrary&) = delete;

    component_factory factory() const { return factory_; }
    const std::string& error() const { return error_; }

    // What failed when factory() is null: the library itself (error() says
    // it cannot be loaded, naming it), or its factory (the library loaded
    // and exports none).
    enum class Failure { none, library, factory };
    Failure failure() const { return factory_ ? Failure::none : noFactory_ ? Failure::factory : Failure::library; }

private:
    void* handle_ = nullptr;
    component_factory factory_ = nullptr;
    bool noFactory_ = false;
    std::string error_;
};

} // namespace zorv_host

#endif
