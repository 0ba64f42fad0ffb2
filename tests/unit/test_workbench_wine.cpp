// Which Wine runs a panel's "wine" placements, and how their recordings are
// replayed. Stand-in loaders play 32-bit Wine that cannot start and 64-bit
// Wine that can: the latter checks the environment a 64-bit child must get
// and then runs the native zorv-host, so the choice, the command lines and
// the replay are all exercised without Wine itself.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "panel_file.h"
#include "test_folder.h"
#include "workbench.h"

namespace {

using namespace zorv_workbench;
using nlohmann::json;
namespace fs = std::filesystem;

const PathRoots wineRoots{"/opt/bin", "/opt/dist", "/opt/dist64"};

std::string wineKeys(const std::string& keys, const std::string& placement = R"("dll": "{dist}/S.dll")")
{
    return R"({"zorv_panel": 1, )" + keys + R"( "placements": [{"name": "W", "library": "S.so", "runner": "wine", )"
           + placement + "}]}";
}

TEST(PanelFileWine, ChoosesImagesAndWineByKeys)
{
    struct Case {
        std::string text;
        WineBits bits;
        std::string dll64, wine64Host;
    } cases[] = {
        {wineKeys(""), WineBits::Auto, "/opt/dist64/S.dll", "/opt/dist64/zorv-host.exe"},
        {wineKeys(R"("wine_bits": "32",)"), WineBits::Win32, "/opt/dist64/S.dll", "/opt/dist64/zorv-host.exe"},
        {wineKeys(R"("wine_bits": "64", "wine64_host": "x64/host.exe",)"), WineBits::Win64, "/opt/dist64/S.dll",
         "/panels/x64/host.exe"},
        {wineKeys("", R"("dll": "{dist}/S.dll", "dll64": "{bin}/S64.dll")"), WineBits::Auto, "/opt/bin/S64.dll",
         "/opt/dist64/zorv-host.exe"},
        {wineKeys("", R"("dll": "/elsewhere/Other.dll")"), WineBits::Auto, "/opt/dist64/Other.dll",
         "/opt/dist64/zorv-host.exe"},
    };
    for (const Case& c : cases) {
        std::string error;
        std::optional<PanelFile> panel = parsePanelFile(c.text, "/panels/p.zorv_panel", wineRoots, error);
        ASSERT_TRUE(panel) << error << "\n" << c.text;
        EXPECT_EQ(panel->wineBits, c.bits) << c.text;
        EXPECT_EQ(panel->placements[0].dll64, c.dll64) << c.text;
        EXPECT_EQ(panel->wine64Host, c.wine64Host) << c.text;
    }
}

TEST(PanelFileWine, RefusesAnUnknownWineAndMakesPathsAbsolute)
{
    for (const char* bits : {"16", "win32", "both"}) {
        std::string error;
        EXPECT_FALSE(parsePanelFile(wineKeys(std::string(R"("wine_bits": ")") + bits + R"(",)"), "p", wineRoots, error));
        EXPECT_NE(error.find("\"wine_bits\" must be \"auto\", \"32\" or \"64\""), std::string::npos) << error;
    }
    // A panel file named from the current folder still names its modules
    // by absolute path, so a recording's replay works from anywhere.
    std::string error;
    std::optional<PanelFile> panel = parsePanelFile(wineKeys(""), "panels/p.zorv_panel", wineRoots, error);
    ASSERT_TRUE(panel) << error;
    EXPECT_EQ(panel->path, fs::current_path().string() + "/panels/p.zorv_panel");
    EXPECT_EQ(panel->placements[0].library, fs::current_path().string() + "/panels/S.so");
}

// ---- the choice at run time

// A folder of this test process's own, for the stand-ins and recordings.
class WineStandIns : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = zorv_test::inProcessFolder(
            std::string("wine_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
        // 32-bit Wine that cannot start, as on a kernel without 32-bit support.
        writeScript("wine32", "exit 1\n");
        // 64-bit Wine: the child must get WINEARCH=win64 and the 64-bit
        // prefix; it then runs the native zorv-host on what it is given.
        writeScript("wine64", "[ \"$1\" = --version ] && exit 0\n"
                              "[ \"$WINEARCH\" = win64 ] && [ \"$WINEPREFIX\" = " + folder + "/prefix64 ] || "
                              "{ echo \"wrong Wine environment: $WINEARCH $WINEPREFIX\" >&2; exit 3; }\n"
                              "shift\nexec " ZORV_TEST_HOST " \"$@\"\n");
        std::ofstream(folder + "/zorv-host.exe") << "";
    }
    void TearDown() override
    {
        if (workbench)
            workbench->stop();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    void writeScript(const std::string& name, const std::string& body)
    {
        std::string path = folder + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body;
        fs::permissions(path, fs::perms::owner_all);
    }

    void start(const std::string& bits)
    {
        // The "64-bit test build" is the native module here: the stand-in
        // runs it with the native host.
        std::string text = R"({"zorv_panel": 1, "wine_bits": ")" + bits + R"(",
            "wine_host": ")" + folder + R"(/zorv-host.exe", "wine64_host": ")" + folder + R"(/zorv-host.exe",
            "placements": [{"name": "W", "library": ")" ZORV_TEST_SELVARIN R"(", "runner": "wine",
                            "dll": "/nonexistent/Selvarin.dll", "dll64": ")" ZORV_TEST_SELVARIN R"("}]})";
        std::string error;
        std::optional<PanelFile> panel = parsePanelFile(text, folder + "/p.zorv_panel", wineRoots, error);
        ASSERT_TRUE(panel) << error;
        WorkbenchOptions options;
        options.selfPath = ZORV_TEST_HOST;
        options.wine = folder + "/wine32";
        options.wine64 = folder + "/wine64";
        options.wine64Prefix = folder + "/prefix64";
        options.recordDir = folder + "/recordings";
        workbench = std::make_unique<Workbench>(*panel, options);
        workbench->start();
        for (int i = 0; i < 3000 && !workbench->settled(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(workbench->settled());
    }

    json placementW() const { return json::parse(workbench->state())["placements"][0]; }

    std::string logText() const { return workbench->logText(); }

    std::string folder;
    std::unique_ptr<Workbench> workbench;
};

TEST_F(WineStandIns, WithoutThirtyTwoBitWineTheTestBuildRunsUnderSixtyFourBitWine)
{
    start("auto");
    json w = placementW();
    EXPECT_EQ(w["status"], "running") << w.dump();
    EXPECT_EQ(w["runner"], "wine");
    EXPECT_EQ(w["wineBits"], 64);
    EXPECT_EQ(w["library"], ZORV_TEST_SELVARIN);
    EXPECT_NE(w["note"].get<std::string>().find("32-bit Wine does not start on this machine, so the 64-bit test build"),
              std::string::npos)
        << w["note"];
    EXPECT_NE(logText().find(std::string("starting: ") + ZORV_TEST_SELVARIN + " under 64-bit Wine"), std::string::npos)
        << logText();
}

TEST_F(WineStandIns, ARecordingOfAWinePlacementReplaysByItsOwnHeader)
{
    start("64");
    ASSERT_TRUE(workbench->setRecording(true).get().ok);
    ASSERT_TRUE(workbench->sendParent("W", "return=all").get().ok);
    Outcome written = workbench->setRecording(false).get();
    ASSERT_TRUE(written.ok) << written.error;
    ASSERT_EQ(written.files.size(), 1u);
    std::ifstream in(written.files[0]);
    std::string line, replay;
    while (std::getline(in, line))
        if (line.rfind("# Replay: ", 0) == 0)
            replay = line.substr(10);
    std::string expected = "env WINEARCH=win64 WINEPREFIX=" + folder + "/prefix64 " + folder + "/wine64 " + folder
                           + "/zorv-host.exe check " + ZORV_TEST_SELVARIN + " " + written.files[0];
    EXPECT_EQ(replay, expected);
    // As written, from another folder: it passes, and fails when the
    // recording no longer matches.
    std::string command = "cd / && " + replay + " >" + folder + "/replay.out 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::ofstream(written.files[0], std::ios::app) << "parent \"_events\"\n< null\n";
    EXPECT_NE(std::system(command.c_str()), 0);
}

TEST_F(WineStandIns, AWineAskedForThatCannotStartFailsThePlacementWithTheReason)
{
    start("32");
    json w = placementW();
    EXPECT_EQ(w["status"], "failed") << w.dump();
    EXPECT_EQ(w["why"], "cannot run under the Wine asked for: 32-bit Wine does not start on this machine");
    EXPECT_NE(logText().find("Wine placements cannot start: 32-bit Wine does not start"), std::string::npos);
}

} // namespace
