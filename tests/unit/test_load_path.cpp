// The folders a load searches for a library's imports, in its order, and
// what it takes from them: what the loader's diagnosis and preflight report.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "library_loader.h"
#include "load_path.h"
#include "test_folder.h"

using namespace zorv_host;

namespace {

using Folders = std::vector<std::string>;

SearchPlaces places()
{
    SearchPlaces p;
    p.programFolder = "C:\\host";
    p.libraryFolder = "D:\\components\\";
    p.systemFolders = {"C:\\windows\\system32", "C:\\windows\\System", "C:\\windows"};
    p.currentFolder = "D:\\work";
    p.path = {"C:\\tools", "", "c:\\WINDOWS\\system32\\", "C:\\host", "E:\\"};
    return p;
}

} // namespace

TEST(LoadPath, EachOrderSearchesItsOwnFirstFolderThenTheSame)
{
    struct Case {
        const char* what;
        SearchOrder order;
        Folders folders;
    } cases[] = {
        {"plain: the program's folder first, never the library's", SearchOrder::plain,
         {"C:\\host", "C:\\windows\\system32", "C:\\windows\\System", "C:\\windows", "D:\\work", "C:\\tools", "E:\\"}},
        {"altered: the library's folder first, never the program's unless on PATH", SearchOrder::altered,
         {"D:\\components", "C:\\windows\\system32", "C:\\windows\\System", "C:\\windows", "D:\\work", "C:\\tools",
          "C:\\host", "E:\\"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(searchFolders(c.order, places()), c.folders) << c.what;
}

TEST(LoadPath, AFolderComesUpOnceWhereItFirstComesUp)
{
    SearchPlaces p = places();
    p.currentFolder = "d:\\components";   // the library's folder again, spelt otherwise
    p.programFolder = "";                 // not known: left out, not searched as ""
    Folders altered = searchFolders(SearchOrder::altered, p);
    EXPECT_EQ(altered.front(), "D:\\components");
    EXPECT_EQ(std::count(altered.begin(), altered.end(), "d:\\components"), 0);
    Folders plain = searchFolders(SearchOrder::plain, p);
    EXPECT_EQ(plain.front(), "C:\\windows\\system32");
    EXPECT_EQ(plain[3], "d:\\components");
    EXPECT_EQ(listFolders({"A", "B\\c"}), "A; B\\c");
}

class LoadPathFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = std::filesystem::path(zorv_test::inProcessFolder(std::string("load_path_") + test->name()));
        std::filesystem::remove_all(root_);
        for (const char* folder : {"a", "b", "c"})
            std::filesystem::create_directories(root_ / folder);
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    std::string folder(const char* name) const { return (root_ / name).string(); }
    void put(const char* folderName, const std::string& bytes) const
    {
        std::ofstream(root_ / folderName / "x.dll", std::ios::binary) << bytes;
    }
    // Just enough of an image for its machine to be read.
    static std::string imageOf(uint16_t machine)
    {
        std::string b(0x200, '\0');
        b[0] = 'M';
        b[1] = 'Z';
        b[0x3C] = static_cast<char>(0x80);
        b.replace(0x80, 4, std::string("PE\0\0", 4));
        b[0x84] = static_cast<char>(machine & 0xFF);
        b[0x85] = static_cast<char>(machine >> 8);
        b[0x94] = static_cast<char>(0xE0);
        b[0x98] = 0x0B;
        b[0x99] = 0x01;
        return b;
    }

    std::filesystem::path root_;
};

TEST_F(LoadPathFiles, TakesTheFirstImageOfItsMachinePassingOverOthers)
{
    put("a", imageOf(0x8664));
    put("c", imageOf(peMachineI386));
    Located found = locateAlong("x.dll", {folder("a"), folder("b"), folder("c")}, peMachineI386);
    EXPECT_EQ(found.path, folder("c") + "/x.dll");
    EXPECT_EQ(found.skipped, Folders{folder("a") + "/x.dll (a 64-bit (x64) image)"});
    EXPECT_EQ(found.unusable, "");

    // The other way round for the 64-bit build.
    Located for64 = locateAlong("x.dll", {folder("c"), folder("a")}, 0x8664);
    EXPECT_EQ(for64.path, folder("a") + "/x.dll");
    ASSERT_EQ(for64.skipped.size(), 1u);
}

TEST_F(LoadPathFiles, AFileThatIsNoImageEndsTheSearch)
{
    put("b", "not an image");
    put("c", imageOf(peMachineI386));
    Located found = locateAlong("x.dll", {folder("a"), folder("b"), folder("c")}, peMachineI386);
    EXPECT_EQ(found.path, "");
    EXPECT_EQ(found.unusable, folder("b") + "/x.dll: not a Windows DLL (no MZ header)");
}

TEST_F(LoadPathFiles, NoneFoundIsNoneTakenAndNothingPassedOver)
{
    Located found = locateAlong("x.dll", {folder("a"), folder("b"), folder("c") + "/"}, peMachineI386);
    EXPECT_EQ(found.path, "");
    EXPECT_TRUE(found.skipped.empty());
    EXPECT_EQ(found.unusable, "");
    EXPECT_TRUE(locateAlong("x.dll", {}, peMachineI386).path.empty());
}
