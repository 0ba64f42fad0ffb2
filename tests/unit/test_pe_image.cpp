// Reading a Windows image's header and imports from its bytes, as preflight
// does before it loads anything: a small image built here, and every damaged
// form of it, which must give an error in words, never a read out of bounds.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "pe_image.h"

using namespace zorv_host;

namespace {

void put16(std::string& b, std::size_t at, std::uint16_t v)
{
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

void put32(std::string& b, std::size_t at, std::uint32_t v)
{
    put16(b, at, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

void putText(std::string& b, std::size_t at, const std::string& text)
{
    b.replace(at, text.size() + 1, text + '\0');
}

// A 32-bit DLL asking for Windows 6.1, one section at file offset 0x200 /
// address 0x1000 holding an import table: KERNEL32.dll -> OutputDebugStringA
// and ordinal 7.
std::string smallDll()
{
    std::string b(0x400, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, 0x80);
    putText(b, 0x80, "PE");
    const std::size_t file = 0x84, optional = file + 20;
    put16(b, file, 0x14C);
    put16(b, file + 2, 1);        // sections
    put16(b, file + 16, 224);     // optional header size
    put16(b, file + 18, 0x2102);  // DLL, 32-bit, executable
    put16(b, optional, 0x10B);
    put16(b, optional + 40, 6);
    put16(b, optional + 42, 1);
    put16(b, optional + 48, 6);
    put16(b, optional + 50, 1);
    put16(b, optional + 70, 0x140);
    put32(b, optional + 92, 16);          // data directories
    put32(b, optional + 96 + 8, 0x1000);  // import directory
    const std::size_t section = optional + 224;
    put32(b, section + 8, 0x200);
    put32(b, section + 12, 0x1000);
    put32(b, section + 16, 0x200);
    put32(b, section + 20, 0x200);
    // Descriptor at 0x1000, terminator after it; thunks at 0x1040; names.
    put32(b, 0x200, 0x1040);
    put32(b, 0x200 + 12, 0x1080);
    put32(b, 0x200 + 16, 0x1040);
    put32(b, 0x240, 0x10A0);
    put32(b, 0x244, 0x80000007u);
    putText(b, 0x280, "KERNEL32.dll");
    putText(b, 0x2A2, "OutputDebugStringA");
    return b;
}

TEST(PeImage, ReadsHeaderAndImports)
{
    std::string error;
    std::optional<PeImage> image = parsePeImage(smallDll(), error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->machine, 0x14C);
    EXPECT_TRUE(image->isDll);
    EXPECT_FALSE(image->is64);
    EXPECT_EQ(image->subsystemMajor, 6);
    EXPECT_EQ(image->subsystemMinor, 1);
    EXPECT_EQ(image->dllCharacteristics, 0x140);
    ASSERT_EQ(image->imports.size(), 1u);
    EXPECT_EQ(image->imports[0].dll, "KERNEL32.dll");
    EXPECT_EQ(image->imports[0].names, (std::vector<std::string>{"OutputDebugStringA", "#7"}));
}

TEST(PeImage, DamagedImagesGiveAReason)
{
    struct Case {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        const char* error;
    };
    const Case cases[] = {
        {"no MZ", 0, 0, "not a Windows image (no MZ/PE header)"},
        {"PE header beyond the file", 0x3C, 0x7FFFFFF0u, "not a Windows image (no MZ/PE header)"},
        {"unknown optional header", 0x84 + 20, 0x1234, "its optional header is missing or of an unknown kind"},
        {"import table outside every section", 0x84 + 20 + 96 + 8, 0x9000, "its import table lies outside the file"},
        {"library name outside", 0x200 + 12, 0x7000, "an imported library's name lies outside the file"},
        {"thunks outside", 0x200, 0x7000, "the imports from KERNEL32.dll lie outside the file"},
        {"section table beyond the file", 0x84 + 16, 0xFFFF, "its section table is cut short"},
    };
    for (const Case& c : cases) {
        std::string bytes = smallDll();
        if (c.at == 0)
            bytes[0] = 'X';
        else
            put32(bytes, c.at, c.value);
        std::string error;
        EXPECT_FALSE(parsePeImage(bytes, error)) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
}

TEST(PeImage, EveryTruncationIsRefusedOrReadWithinBounds)
{
    const std::string whole = smallDll();
    for (std::size_t length = 0; length < whole.size(); ++length) {
        std::string error;
        std::optional<PeImage> image = parsePeImage(whole.substr(0, length), error);
        if (!image) {
            EXPECT_FALSE(error.empty()) << length;
        }
    }
}

TEST(PeImage, MissingFileIsNamed)
{
    std::string error;
    EXPECT_FALSE(readPeImage("/nonexistent/x.dll", error));
    EXPECT_EQ(error, "/nonexistent/x.dll not found");
}

} // namespace
