// The source places of code addresses in a module, from its debugging
// symbols (DWARF beside a shared object, the PDB beside a DLL), read by the
// system's own means: llvm-symbolizer or addr2line on POSIX systems,
// dbghelp on Windows (symbols_posix.cpp, symbols_windows.cpp). Not for a
// fault handler: it starts programs and takes memory.
#ifndef ZORV_HOST_PLATFORM_SYMBOLS_H
#define ZORV_HOST_PLATFORM_SYMBOLS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorv_host::platform {

// A place in the source; function "" where the symbols do not know the
// address, file "" and line 0 where they know no line.
struct SourcePlace {
    std::string function, file;
    int line = 0;
};

// One place per offset (offsets from the module's base, as a crash report
// gives them), in their order. nullopt, with why in words, where no symbols
// could be read at all (no symbolizer, no symbols for the module).
std::optional<std::vector<SourcePlace>> symbolize(const std::string& module, const std::vector<std::uintptr_t>& offsets,
                                                  std::string& why);

} // namespace zorv_host::platform

#endif
