// Reading a Windows image to say why it would not load: any file, however
// damaged, gives a PE summary or an error in words, never a crash.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "library_loader.h"
#include "test_folder.h"

using namespace zorv_host;

namespace {

void put32(std::string& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(v >> (8 * i));
}
void put16(std::string& b, size_t at, uint16_t v)
{
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}

// A minimal DLL image importing "zorv_string.dll" (two names) and
// "KERNEL32.dll" (one name and an ordinal), with one section at RVA 0x1000;
// PE32, or PE32+ (8-byte lookup entries) when plus.
std::string image(uint16_t machine = peMachineI386, uint16_t characteristics = 0x2102, bool plus = false)
{
    const uint16_t optionalSize = plus ? 0xF0 : 0xE0;
    const uint32_t entry = plus ? 8 : 4;
    std::string b(0x800, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, 0x80);
    b.replace(0x80, 4, std::string("PE\0\0", 4));
    put16(b, 0x84, machine);
    put16(b, 0x86, 1);       // one section
    put16(b, 0x94, optionalSize);
    put16(b, 0x96, characteristics);
    size_t opt = 0x98;
    put16(b, opt, plus ? 0x20B : 0x10B);
    put32(b, opt + (plus ? 112 : 96) + 8, 0x1000);   // import directory
    size_t section = opt + optionalSize;
    put32(b, section + 8, 0x400);     // virtual size
    put32(b, section + 12, 0x1000);   // RVA
    put32(b, section + 16, 0x400);    // raw size
    put32(b, section + 20, 0x400);    // raw offset
    // Descriptors at 0x1000 (file 0x400), lookups at 0x1100, names at 0x1200.
    auto file = [](uint32_t rva) { return rva - 0x1000 + 0x400; };
    put32(b, file(0x1000), 0x1100);
    put32(b, file(0x1000) + 12, 0x1200);
    put32(b, file(0x1014), 0x1120);
    put32(b, file(0x1014) + 12, 0x1210);
    b.replace(file(0x1200), 16, std::string("zorv_string.dll\0", 16));
    b.replace(file(0x1210), 13, std::string("KERNEL32.dll\0", 13));
    put32(b, file(0x1100), 0x1300);
    put32(b, file(0x1100 + entry), 0x1310);
    put32(b, file(0x1120), 0x1320);
    if (plus) {   // the ordinal flag is the top bit of the 8 bytes
        put32(b, file(0x1120 + entry), 7);
        put32(b, file(0x1120 + entry) + 4, 0x80000000u);
    } else {
        put32(b, file(0x1120 + entry), 0x80000007u);
    }
    b.replace(file(0x1302), 13, std::string("??0zorv@@QAE\0", 13));
    b.replace(file(0x1312), 6, std::string("toInt\0", 6));
    b.replace(file(0x1322), 10, std::string("HeapAlloc\0", 10));
    return b;
}

std::string written(const std::string& bytes)
{
    static int n = 0;
    // In the process's own folder: CTest runs the tests of this file side by
    // side, and the whole binary beside them under valgrind.
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string path =
        zorv_test::inProcessFolder("pe_image_" + std::string(test->name()) + "_" + std::to_string(n++) + ".dll");
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST(PeImage, ReadsMachineKindAndImports)
{
    // The 64-bit test build diagnoses its own loads from PE32+ imports.
    for (bool plus : {false, true}) {
        PeImage pe = readPeImage(written(image(plus ? 0x8664 : peMachineI386, 0x2102, plus)));
        ASSERT_EQ(pe.error, "") << plus;
        EXPECT_EQ(pe.machine, plus ? 0x8664 : peMachineI386);
        EXPECT_TRUE(pe.dll);
        ASSERT_EQ(pe.imports.size(), 2u) << plus;
        EXPECT_EQ(pe.imports[0].dll, "zorv_string.dll");
        EXPECT_EQ(pe.imports[0].names, (std::vector<std::string>{"??0zorv@@QAE", "toInt"})) << plus;
        EXPECT_EQ(pe.imports[1].dll, "KERNEL32.dll");
        EXPECT_EQ(pe.imports[1].names, (std::vector<std::string>{"HeapAlloc", "#7"})) << plus;
    }

    EXPECT_FALSE(readPeImage(written(image(peMachineI386, 0x0102))).dll);
    PeImage x64 = readPeImage(written(image(0x8664)));
    EXPECT_EQ(x64.error, "");
    EXPECT_EQ(describeMachine(x64.machine), "a 64-bit (x64) image");
    EXPECT_EQ(describeMachine(0x1234), "an image for machine 0x1234");
}

TEST(PeImage, DamagedFilesGiveWordsNotCrashes)
{
    std::string farHeader = image();
    put32(farHeader, 0x3C, 0xFFFFFFF0u);
    std::string manySections = image();
    put16(manySections, 0x86, 0xFFFF);
    std::string wildImports = image();
    put32(wildImports, 0x98 + 96 + 8, 0x7FFFFFFF);
    std::string wildNames = image();
    put32(wildNames, 0x400 + 12, 0xFFFFFF00u);
    struct Case {
        const char* what;
        std::string bytes;
        const char* error;
    } cases[] = {
        {"empty", "", "not a Windows DLL (no MZ header)"},
        {"text", "just some text, no image at all here........................................",
         "not a Windows DLL (no MZ header)"},
        {"header beyond the file", farHeader, "not a Windows DLL (no PE header)"},
        {"cut after the PE header", image().substr(0, 0xA0), "not a Windows DLL (its header is cut short)"},
        {"more sections than bytes", manySections, "not a Windows DLL (its section table is cut short)"},
        {"import directory nowhere", wildImports, ""},
        {"import names nowhere", wildNames, ""},
    };
    for (const Case& c : cases) {
        PeImage pe = readPeImage(written(c.bytes));
        EXPECT_EQ(pe.error, c.error) << c.what;
    }
    PeImage none = readPeImage(zorv_test::inProcessFolder("no_such_file.dll"));
    EXPECT_EQ(none.error, "file not found");
    EXPECT_TRUE(none.missing);
    EXPECT_FALSE(readPeImage(written("just text")).missing);
    EXPECT_TRUE(readPeImage(written(wildImports)).imports.empty());
}

TEST(PeImage, EveryTruncationIsReadWithinTheFile)
{
    // Under the sanitizers a read past the file's bytes fails this test.
    for (bool plus : {false, true}) {
        const std::string whole = image(peMachineI386, 0x2102, plus);
        std::string cut;
        for (std::size_t length = 0; length < whole.size(); length += 5) {
            cut.assign(whole, 0, length);
            PeImage pe = readPeImage(written(cut));
            if (pe.error.empty()) {
                EXPECT_EQ(pe.machine, peMachineI386) << length;
            }
        }
    }
}

TEST(PeImage, HeaderGivesTheWindowsVersionAskedFor)
{
    std::string bytes = image();
    put16(bytes, 0x98 + 40, 6);
    put16(bytes, 0x98 + 42, 1);
    put16(bytes, 0x98 + 48, 5);
    put16(bytes, 0x98 + 50, 2);
    PeImage pe = readPeImage(written(bytes));
    EXPECT_EQ(pe.osMajor * 10 + pe.osMinor, 61);
    EXPECT_EQ(pe.subsystemMajor * 10 + pe.subsystemMinor, 52);
}

#if !defined(_WIN32)
TEST(PeImage, AWindowsImageGivenToTheNativeHostIsNamedAsOne)
{
    struct Case {
        std::string bytes;
        const char* says;
    } cases[] = {
        {image(), "it is a Windows DLL, a 32-bit (i386) image; run it with the 32-bit zorv-host.exe under Wine "
                  "instead, with the same arguments: wine dist/zorv-host.exe SUBCOMMAND "},
        {image(0x8664), "it is a Windows DLL, a 64-bit (x64) image; run it with a 64-bit zorv-host.exe under 64-bit "
                        "Wine instead, with the same arguments: WINEARCH=win64 /usr/lib/wine/wine64 build/dist64/zorv-host.exe "},
        {image(peMachineI386, 0x0102), "it is a Windows program, a 32-bit (i386) image"},
    };
    for (const Case& c : cases) {
        std::string path = written(c.bytes);
        ComponentLibrary library(path);
        EXPECT_EQ(library.factory(), nullptr);
        EXPECT_EQ(library.error().rfind("cannot load " + path + ": ", 0), 0u) << library.error();
        EXPECT_NE(library.error().find(c.says), std::string::npos) << library.error();
    }
    // Anything else keeps the loader's own words.
    ComponentLibrary text(written("just text"));
    EXPECT_EQ(text.error().find("it is a Windows"), std::string::npos) << text.error();
}
#endif

} // namespace
