// Loads a component library and finds its factory.
#ifndef ZORV_HOST_LIBRARY_LOADER_H
#define ZORV_HOST_LIBRARY_LOADER_H

#include <string>

#include "component_abi.h"

namespace zorv_host {

class ComponentLibrary {
public:
    // Loads path and resolves the factory; on failure error() says why in
    // words (no such file; which imported DLL is missing, or which name it
    // lacks; a 64-bit or non-DLL file) and factory() is null. The library stays loaded until this object dies.
    explicit ComponentLibrary(const std::string& path);
    ~ComponentLibrary();
    ComponentLibrary(const ComponentLibrary&) = delete;
    ComponentLibrary& operator=(const ComponentLibrary&) = delete;

    component_factory factory() const { return factory_; }
    const std::string& error() const { return error_; }

private:
    void* handle_ = nullptr;
    component_factory factory_ = nullptr;
    std::string error_;
};

} // namespace zorv_host

#endif
