// What a Windows image file says about itself, read from its bytes: enough
// to tell an integrator why a component will or will not load (machine,
// DLL or not, the Windows version its header asks for, what it imports).
// Portable: it reads the file, it does not load it.
#ifndef ZORV_HOST_PE_IMAGE_H
#define ZORV_HOST_PE_IMAGE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorv_host {

struct PeImport {
    std::string dll;                    // as the image names it, e.g. "KERNEL32.dll"
    std::vector<std::string> names;     // imported names; "#N" for an import by ordinal
};

struct PeImage {
    std::uint16_t machine = 0;          // 0x14c i386, 0x8664 x64
    bool isDll = false;
    bool is64 = false;                  // PE32+
    std::uint16_t osMajor = 0, osMinor = 0;               // the header's operating system version
    std::uint16_t subsystemMajor = 0, subsystemMinor = 0;
    std::uint16_t dllCharacteristics = 0;
    std::vector<PeImport> imports;
};

// Reads path; nullopt with error in words when it is no readable image.
std::optional<PeImage> readPeImage(const std::string& path, std::string& error);

// The same from the file's bytes (tests, fuzzing).
std::optional<PeImage> parsePeImage(const std::string& bytes, std::string& error);

} // namespace zorv_host

#endif
