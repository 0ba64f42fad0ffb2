#include "pe_image.h"

#include <fstream>
#include <sstream>

namespace zorv_host {

namespace {

// Bounds-checked little-endian reads: a truncated or hostile file gives
// "false", never a read past the buffer.
struct Bytes {
    const std::string& data;

    bool has(std::size_t offset, std::size_t size) const
    {
        return offset <= data.size() && size <= data.size() - offset;
    }
    bool u16(std::size_t offset, std::uint16_t& out) const
    {
        if (!has(offset, 2))
            return false;
        out = static_cast<std::uint16_t>(static_cast<unsigned char>(data[offset])
                                         | static_cast<unsigned char>(data[offset + 1]) << 8);
        return true;
    }
    bool u32(std::size_t offset, std::uint32_t& out) const
    {
        std::uint16_t low = 0, high = 0;
        if (!u16(offset, low) || !u16(offset + 2, high))
            return false;
        out = static_cast<std::uint32_t>(low) | static_cast<std::uint32_t>(high) << 16;
        return true;
    }
    // A NUL-terminated name of at most 512 bytes.
    bool text(std::size_t offset, std::string& out) const
    {
        out.clear();
        for (std::size_t i = offset; i < data.size() && i < offset + 512; ++i) {
            if (data[i] == '\0')
                return true;
            out += data[i];
        }
        return false;
    }
};

struct Section {
    std::uint32_t address, size, fileOffset, fileSize;
};

bool toFileOffset(const std::vector<Section>& sections, std::uint32_t rva, std::size_t& offset)
{
    for (const Section& s : sections) {
        std::uint32_t extent = s.size > s.fileSize ? s.size : s.fileSize;
        if (rva >= s.address && rva - s.address < extent) {
            if (rva - s.address >= s.fileSize)
                return false;   // in the section's zero-filled tail: nothing in the file
            offset = static_cast<std::size_t>(s.fileOffset) + (rva - s.address);
            return true;
        }
    }
    return false;
}

bool readImports(const Bytes& b, const std::vector<Section>& sections, std::uint32_t directory, bool is64,
                 std::vector<PeImport>& imports, std::string& error)
{
    std::size_t offset = 0;
    if (!toFileOffset(sections, directory, offset)) {
        error = "its import table lies outside the file";
        return false;
    }
    for (int entry = 0; entry < 4096; ++entry, offset += 20) {
        std::uint32_t lookup = 0, name = 0, thunks = 0;
        if (!b.u32(offset, lookup) || !b.u32(offset + 12, name) || !b.u32(offset + 16, thunks)) {
            error = "its import table is cut short";
            return false;
        }
        if (lookup == 0 && name == 0 && thunks == 0)
            return true;
        PeImport import;
        std::size_t at = 0;
        if (!toFileOffset(sections, name, at) || !b.text(at, import.dll)) {
            error = "an imported library's name lies outside the file";
            return false;
        }
        std::size_t thunk = 0;
        if (!toFileOffset(sections, lookup ? lookup : thunks, thunk)) {
            error = "the imports from " + import.dll + " lie outside the file";
            return false;
        }
        const std::size_t width = is64 ? 8 : 4;
        for (int n = 0; n < 65536; ++n, thunk += width) {
            std::uint32_t low = 0, high = 0;
            if (!b.u32(thunk, low) || (is64 && !b.u32(thunk + 4, high))) {
                error = "the imports from " + import.dll + " are cut short";
                return false;
            }
            if (low == 0 && high == 0)
                break;
            bool byOrdinal = is64 ? (high & 0x80000000u) != 0 : (low & 0x80000000u) != 0;
            if (byOrdinal) {
                import.names.push_back("#" + std::to_string(low & 0xFFFFu));
                continue;
            }
            std::size_t hint = 0;
            std::string imported;
            if (!toFileOffset(sections, low, hint) || !b.text(hint + 2, imported)) {
                error = "a name imported from " + import.dll + " lies outside the file";
                return false;
            }
            import.names.push_back(imported);
        }
        imports.push_back(import);
    }
    error = "its import table does not end";
    return false;
}

} // namespace

std::optional<PeImage> parsePeImage(const std::string& bytes, std::string& error)
{
    Bytes b{bytes};
    std::uint32_t peOffset = 0, signature = 0;
    if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z' || !b.u32(0x3C, peOffset)
        || !b.u32(peOffset, signature) || signature != 0x00004550u) {
        error = "not a Windows image (no MZ/PE header)";
        return std::nullopt;
    }
    PeImage image;
    const std::size_t fileHeader = static_cast<std::size_t>(peOffset) + 4;
    std::uint16_t sectionCount = 0, optionalSize = 0, characteristics = 0, magic = 0;
    if (!b.u16(fileHeader, image.machine) || !b.u16(fileHeader + 2, sectionCount)
        || !b.u16(fileHeader + 16, optionalSize) || !b.u16(fileHeader + 18, characteristics)) {
        error = "its file header is cut short";
        return std::nullopt;
    }
    image.isDll = (characteristics & 0x2000) != 0;
    const std::size_t optional = fileHeader + 20;
    if (!b.u16(optional, magic) || (magic != 0x10B && magic != 0x20B)) {
        error = "its optional header is missing or of an unknown kind";
        return std::nullopt;
    }
    image.is64 = magic == 0x20B;
    std::uint32_t directoryCount = 0, importDirectory = 0;
    const std::size_t directories = optional + (image.is64 ? 112 : 96);
    if (!b.u16(optional + 40, image.osMajor) || !b.u16(optional + 42, image.osMinor)
        || !b.u16(optional + 48, image.subsystemMajor) || !b.u16(optional + 50, image.subsystemMinor)
        || !b.u16(optional + 70, image.dllCharacteristics) || !b.u32(directories - 4, directoryCount)) {
        error = "its optional header is cut short";
        return std::nullopt;
    }
    std::vector<Section> sections;
    const std::size_t sectionTable = optional + optionalSize;
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::size_t s = sectionTable + 40u * i;
        Section section{};
        if (!b.u32(s + 8, section.size) || !b.u32(s + 12, section.address) || !b.u32(s + 16, section.fileSize)
            || !b.u32(s + 20, section.fileOffset)) {
            error = "its section table is cut short";
            return std::nullopt;
        }
        sections.push_back(section);
    }
    if (directoryCount > 1 && b.u32(directories + 8, importDirectory) && importDirectory != 0
        && !readImports(b, sections, importDirectory, image.is64, image.imports, error))
        return std::nullopt;
    return image;
}

std::optional<PeImage> readPeImage(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + " not found";
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::optional<PeImage> image = parsePeImage(bytes.str(), error);
    if (!image)
        error = path + ": " + error;
    return image;
}

} // namespace zorv_host
