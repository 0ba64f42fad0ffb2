// zorv-host new: which names and folders it refuses, and that the project
// it renders is consistent (the layout and scenario parse, the names agree).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/new.h"
#include "layout.h"
#include "scenario.h"
#include "test_folder.h"

using namespace zorv_host;
using namespace zorv_host::cli;
namespace fs = std::filesystem;

namespace {

struct NameCase {
    std::string name;
    std::string problem;   // a piece of the refusal, "" for an accepted name
};

TEST(NewProject, AcceptsIdentifiersAndRefusesTheRestWithTheReason)
{
    const NameCase cases[] = {
        {"Dimmer", ""},
        {"_dimmer2", ""},
        {"a", ""},
        {"COM0", ""},
        {"console", ""},
        {"Tester", ""},
        {std::string(64, 'x'), ""},
        {"", "is empty"},
        {std::string(65, 'x'), "longer than 64"},
        {"2fast", "not a C++ identifier"},
        {"my-component", "not a C++ identifier"},
        {"my component", "not a C++ identifier"},
        {"../Dimmer", "not a C++ identifier"},
        {"Dimm\xc3\xa9r", "not a C++ identifier"},
        {"class", "C++ keyword"},
        {"xor_eq", "C++ keyword"},
        {"final", "C++ keyword"},
        {"_Dimmer", "reserved for the compiler"},
        {"dim__mer", "reserved for the compiler"},
        {"zorv_string", "the SDK's headers declare"},
        {"ZORV_PLUGIN_CALL", "the SDK's headers declare"},
        {"ButtonView", "the SDK's headers declare"},
        {"strlen", "the SDK's headers declare"},
        {"test", "CMake reserves"},
        {"ALL_BUILD", "CMake reserves"},
        {"Install", "CMake reserves"},
        {"con", "device name Windows refuses"},
        {"Nul", "device name Windows refuses"},
        {"LPT9", "device name Windows refuses"},
    };
    for (const NameCase& c : cases) {
        const std::string problem = componentNameError(c.name);
        if (c.problem.empty())
            EXPECT_EQ(problem, "") << c.name;
        else
            EXPECT_NE(problem.find(c.problem), std::string::npos) << c.name << ": " << problem;
    }
}

fs::path freshFolder(const std::string& name)
{
    const fs::path folder = zorv_test::inProcessFolder("zorv_new_" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

void writeText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(NewProject, TakesOnlyAMissingOrEmptyFolder)
{
    const fs::path base = freshFolder("folders");
    fs::create_directories(base / "empty");
    fs::create_directories(base / "full");
    writeText(base / "full" / "notes.txt", "mine");
    fs::create_directories(base / "hidden");
    writeText(base / "hidden" / ".git", "x");
    writeText(base / "file", "x");
    EXPECT_EQ(targetFolderError((base / "missing").string()), "");
    EXPECT_EQ(targetFolderError((base / "missing" / "deeper").string()), "");
    EXPECT_EQ(targetFolderError((base / "empty").string()), "");
    EXPECT_NE(targetFolderError((base / "full").string()).find("is not empty"), std::string::npos);
    EXPECT_NE(targetFolderError((base / "hidden").string()).find("is not empty"), std::string::npos);
    EXPECT_NE(targetFolderError((base / "file").string()).find("is not a folder"), std::string::npos);
}

const ProjectFile* fileNamed(const std::vector<ProjectFile>& files, const std::string& name)
{
    for (const ProjectFile& file : files)
        if (file.name == name)
            return &file;
    return nullptr;
}

TEST(NewProject, RendersAConsistentProject)
{
    const std::string templates = findTemplateFolder();
    ASSERT_NE(templates, "") << "no templates beside the test program (BIN/../share/zorv/templates)";
    std::vector<ProjectFile> files;
    std::string error;
    ASSERT_TRUE(renderProject(templates, "Dimmer", {"/opt/sdk", "7.3"}, files, error)) << error;
    ASSERT_EQ(files.size(), 6u);
    for (const ProjectFile& file : files)
        EXPECT_EQ(file.text.find('@'), std::string::npos) << file.name << " keeps a placeholder";

    const ProjectFile* source = fileNamed(files, "Dimmer.cpp");
    const ProjectFile* layoutFile = fileNamed(files, "Dimmer.zorv_ui");
    const ProjectFile* scenarioFile = fileNamed(files, "Dimmer.scn");
    const ProjectFile* project = fileNamed(files, "CMakeLists.txt");
    const ProjectFile* readme = fileNamed(files, "README.md");
    ASSERT_TRUE(source && layoutFile && scenarioFile && project && readme);

    EXPECT_NE(source->text.find("class Dimmer : public zorv_script_helper"), std::string::npos);
    for (const char* handler : {"buttonCallback", "parentCallback", "timerCallback", "eventOneCallback",
                                "eventSixCallback", "eventSevenCallback", "load_zorv_client_script"})
        EXPECT_NE(source->text.find(handler), std::string::npos) << handler;
    EXPECT_NE(source->text.find("\"Dimmer.zorv_ui\""), std::string::npos) << "the layout it shows";

    std::istringstream layoutText(layoutFile->text);
    std::optional<Layout> layout = parseLayout(layoutText, layoutFile->name, error);
    ASSERT_TRUE(layout) << error;
    // The controls the source acts on and the event the scenario presses.
    ASSERT_TRUE(layout->find("Label") && layout->find("Press"));
    EXPECT_EQ(layout->find("Press")->kind, ControlKind::Button);
    EXPECT_EQ(layout->find("Press")->event, "press");

    std::istringstream scenarioText(scenarioFile->text);
    std::optional<Scenario> scenario = parseScenario(scenarioText, scenarioFile->name, error);
    ASSERT_TRUE(scenario) << error;
    ASSERT_FALSE(scenario->steps.empty());
    EXPECT_EQ(scenario->steps.front().action, Action::Create);
    ASSERT_FALSE(scenario->steps.front().expected.empty());
    EXPECT_EQ(scenario->steps.front().expected.front(), "> PS '1' 'Dimmer.zorv_ui'");
    EXPECT_EQ(scenario->steps.back().action, Action::Destroy);

    for (const char* piece : {"find_package(ZorvSDK 7.3 REQUIRED)", "zorv_add_component(Dimmer",
                              "SOURCES Dimmer.cpp", "LAYOUTS Dimmer.zorv_ui", "VERSION 1.0.0.0", "DESCRIPTION ",
                              "zorv_add_scenarios(Dimmer FILES Dimmer.scn)", "zorv_add_validation(TARGET Dimmer)"})
        EXPECT_NE(project->text.find(piece), std::string::npos) << piece;
    EXPECT_NE(readme->text.find("SDK=/opt/sdk\n"), std::string::npos);
}

// The build tree lays the templates out as the SDK installs them, but holds
// no CMake package: a project written from it names no build folder as its SDK.
TEST(NewProject, TheBuildTreeIsNoSdk)
{
    EXPECT_NE(findTemplateFolder(), "");
    EXPECT_EQ(installedPrefix(), "");
}

TEST(NewProject, NamesTheMissingTemplate)
{
    const fs::path folder = freshFolder("partial_templates");
    writeText(folder / "CMakeLists.txt.in", "project(@NAME@)\n");
    std::vector<ProjectFile> files;
    std::string error;
    EXPECT_FALSE(renderProject(folder.string(), "Dimmer", {}, files, error));
    EXPECT_NE(error.find("component.cpp.in"), std::string::npos) << error;
}

TEST(NewProject, WritesOnceAndNeverOverwrites)
{
    const fs::path base = freshFolder("write");
    const fs::path project = base / "Dimmer";
    std::ostringstream out, err;
    ASSERT_EQ(newProject("Dimmer", project.string(), out, err), 0) << err.str();
    for (const char* name :
         {"CMakeLists.txt", "Dimmer.cpp", "Dimmer.zorv_ui", "Dimmer.scn", "Dimmer.zorv_panel", "README.md"})
        EXPECT_TRUE(fs::is_regular_file(project / name)) << name;

    // An author's edit survives a second run into the same folder.
    writeText(project / "Dimmer.cpp", "// my own\n");
    std::ostringstream out2, err2;
    EXPECT_EQ(newProject("Dimmer", project.string(), out2, err2), 2);
    EXPECT_NE(err2.str().find("is not empty"), std::string::npos) << err2.str();
    EXPECT_EQ(readText(project / "Dimmer.cpp"), "// my own\n");

    // A refused name leaves no folder behind.
    std::ostringstream out3, err3;
    EXPECT_EQ(newProject("2fast", (base / "other").string(), out3, err3), 2);
    EXPECT_NE(err3.str().find("not a C++ identifier"), std::string::npos) << err3.str();
    EXPECT_FALSE(fs::exists(base / "other"));
}

TEST(NewProject, DefaultsToAFolderNamedAfterTheComponent)
{
    const fs::path base = freshFolder("default");
    const fs::path before = fs::current_path();
    fs::current_path(base);
    std::ostringstream out, err;
    const int status = newProject("Fader", "", out, err);
    fs::current_path(before);
    ASSERT_EQ(status, 0) << err.str();
    EXPECT_TRUE(fs::is_regular_file(base / "Fader" / "Fader.cpp"));
    EXPECT_NE(readText(base / "Fader" / "Fader.cpp").find("class Fader "), std::string::npos);
}

} // namespace
