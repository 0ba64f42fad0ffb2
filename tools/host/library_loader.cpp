#include "library_loader.h"

#include "platform/component_loading.h"

#include <cstdint>
#include <fstream>
#include <iterator>

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

namespace {

// The imports of each descriptor of the import directory (20 bytes each,
// ending with an empty one); lookup entries are 4 bytes in PE32, 8 in PE32+,
// the top bit marking an ordinal.
std::vector<PeImport> readImports(const std::string& b, const std::vector<Section>& sections, size_t descriptor,
                                  size_t thunkSize)
{
    std::vector<PeImport> imports;
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
            imports.push_back(imported);
    }
    return imports;
}

// The headers after the MZ stub up to the section table; "" or why the file
// is no DLL. Sets the optional header's offset, magic and size.
std::string readHeaders(const std::string& b, PeImage& image, size_t& optional, uint16_t& magic, uint16_t& size)
{
    if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z')
        return "not a Windows DLL (no MZ header)";
    size_t pe = read32(b, 0x3C);
    if (pe > b.size() || b.size() - pe < 24 || b.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
        return "not a Windows DLL (no PE header)";
    image.machine = read16(b, pe + 4);
    size = read16(b, pe + 20);
    image.dll = (read16(b, pe + 22) & 0x2000) != 0;
    optional = pe + 24;
    if (b.size() - optional < size || size < 2)
        return "not a Windows DLL (its header is cut short)";
    magic = read16(b, optional);
    if (size >= 52) {   // the same offsets in PE32 and PE32+
        image.osMajor = read16(b, optional + 40);
        image.osMinor = read16(b, optional + 42);
        image.subsystemMajor = read16(b, optional + 48);
        image.subsystemMinor = read16(b, optional + 50);
    }
    if (magic != 0x10B && magic != 0x20B)
        return "not a Windows DLL (unknown optional header)";
    return "";
}

} // namespace

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
    size_t optional = 0;
    uint16_t magic = 0, optionalSize = 0;
    image.error = readHeaders(b, image, optional, magic, optionalSize);
    if (!image.error.empty())
        return image;
    const uint16_t sectionCount = read16(b, optional - 24 + 6);
    const size_t directories = optional + (magic == 0x20B ? 112 : 96);
    const size_t sectionTable = optional + optionalSize;
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
    image.imports = readImports(b, sections, fileOffset(sections, read32(b, directories + 8)), magic == 0x20B ? 8 : 4);
    return image;
}

ComponentLibrary::ComponentLibrary(const std::string& path)
{
    platform::LoadedComponent loaded = platform::loadComponentLibrary(path);
    handle_ = loaded.library;
    factory_ = loaded.factory;
    error_ = loaded.error;
    noFactory_ = loaded.exportsNoFactory;
}

ComponentLibrary::~ComponentLibrary()
{
    if (handle_)
        platform::unloadLibrary(handle_);
}

} // namespace zorv_host
