// new: writes a ready component project (class, layout, scenario, CMake
// project, README) from the template files.
#include "cli/new.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <system_error>

#include "paths.h"
#include "cli/subcommands.h"
#include "zorv_version.h"

namespace fs = std::filesystem;

namespace zorv_host::cli {

namespace {

// The templates and the files they become; "NAME" in a file name is the
// component's name.
struct Template {
    const char* source;
    const char* target;
};
const Template templates[] = {{"CMakeLists.txt.in", "CMakeLists.txt"},
                              {"component.cpp.in", "NAME.cpp"},
                              {"component.zorv_ui.in", "NAME.zorv_ui"},
                              {"component.scn.in", "NAME.scn"},
                              {"component.zorv_panel.in", "NAME.zorv_panel"},
                              {"README.md.in", "README.md"}};

const std::set<std::string>& keywords()
{
    // C++20's keywords and alternative tokens, and the identifiers with a
    // special meaning where a class name stands.
    static const std::set<std::string> words = {
        "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case",
        "catch", "char", "char8_t", "char16_t", "char32_t", "class", "compl", "concept", "const", "consteval",
        "constexpr", "constinit", "const_cast", "continue", "co_await", "co_return", "co_yield", "decltype",
        "default", "delete", "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern",
        "false", "float", "for", "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new",
        "noexcept", "not", "not_eq", "nullptr", "operator", "or", "or_eq", "private", "protected", "public",
        "register", "reinterpret_cast", "requires", "return", "short", "signed", "sizeof", "static",
        "static_assert", "static_cast", "struct", "switch", "template", "this", "thread_local", "throw", "true",
        "try", "typedef", "typeid", "typename", "union", "unsigned", "using", "virtual", "void", "volatile",
        "wchar_t", "while", "xor", "xor_eq", "final", "override", "import", "module"};
    return words;
}

// What the SDK's headers declare at file scope besides the zorv_ names.
const std::set<std::string>& sdkNames()
{
    static const std::set<std::string> names = {
        "ParsedMessage", "ButtonEvent", "MessageView", "ButtonView", "EventView", "decodeZORVString",
        "load_zorv_client_script", "malloc", "free", "memcpy", "memset", "memcmp", "strlen", "strcmp", "std"};
    return names;
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Target names CMake keeps for its generators and for CTest, in any case.
bool cmakeReserved(const std::string& name)
{
    static const std::set<std::string> reserved = {"all", "all_build", "clean", "help", "install", "preinstall",
                                                   "edit_cache", "rebuild_cache", "zero_check", "test",
                                                   "run_tests", "package", "package_source"};
    return reserved.count(lower(name)) != 0;
}

// CON.dll, NUL.so and the like cannot be files on Windows.
bool windowsDevice(const std::string& name)
{
    const std::string l = lower(name);
    if (l == "con" || l == "prn" || l == "aux" || l == "nul")
        return true;
    return l.size() == 4 && (l.compare(0, 3, "com") == 0 || l.compare(0, 3, "lpt") == 0) && l[3] >= '1'
           && l[3] <= '9';
}

bool hasTemplates(const fs::path& folder)
{
    std::error_code error;
    for (const Template& t : templates)
        if (!fs::is_regular_file(folder / t.source, error))
            return false;
    return true;
}

fs::path installedTemplates()
{
    const std::string bin = thisProgramFolder();
    return bin.empty() ? fs::path() : fs::path(bin) / ".." / "share" / "zorv" / "templates" / "component";
}

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

bool readText(const fs::path& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return !in.bad();
}

} // namespace

std::string componentNameError(const std::string& name)
{
    const std::string quoted = "\"" + name + "\"";
    if (name.empty())
        return "the component name is empty";
    if (name.size() > 64)
        return "the component name " + quoted + " is longer than 64 characters";
    const auto identifierChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    };
    if (!std::all_of(name.begin(), name.end(), identifierChar) || (name[0] >= '0' && name[0] <= '9'))
        return quoted + " is not a C++ identifier (letters, digits and '_', not starting with a digit)";
    if (keywords().count(name))
        return quoted + " is a C++ keyword";
    if (name.find("__") != std::string::npos || (name[0] == '_' && name.size() > 1 && name[1] >= 'A'
                                                 && name[1] <= 'Z'))
        return quoted + " is reserved for the compiler (a double '_', or '_' and a capital letter)";
    if (lower(name).compare(0, 5, "zorv_") == 0 || sdkNames().count(name))
        return quoted + " is a name the SDK's headers declare";
    if (cmakeReserved(name))
        return quoted + " is a target name CMake reserves";
    if (windowsDevice(name))
        return quoted + " is a device name Windows refuses as a file name";
    return std::string();
}

std::string targetFolderError(const std::string& folder)
{
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (status.type() == fs::file_type::not_found)
        return std::string();
    if (error)
        return "cannot inspect " + folder + ": " + error.message();
    if (status.type() != fs::file_type::directory)
        return folder + " exists and is not a folder";
    fs::directory_iterator entries(folder, error);
    if (error)
        return "cannot read the folder " + folder + ": " + error.message();
    if (entries != fs::directory_iterator())
        return folder + " is not empty; nothing is overwritten (choose another DIR)";
    return std::string();
}

std::string findTemplateFolder()
{
    const fs::path installed = installedTemplates();
    if (!installed.empty() && hasTemplates(installed))
        return fs::weakly_canonical(installed).string();
    return std::string();
}

std::string installedPrefix()
{
    const std::string bin = thisProgramFolder();
    if (bin.empty() || findTemplateFolder().empty())
        return std::string();
    // The build tree has the templates too, but no package to find.
    std::error_code error;
    const fs::path prefix = fs::weakly_canonical(fs::path(bin) / "..", error);
    if (error || !fs::is_regular_file(prefix / "lib" / "cmake" / "ZorvSDK" / "ZorvSDKConfig.cmake", error))
        return std::string();
    return prefix.string();
}

SdkReference thisSdk()
{
    std::string prefix = installedPrefix();
    if (prefix.empty())
        prefix = "/path/to/the/installed/sdk";
    return {prefix, ZORV_SDK_REQUEST};
}

bool renderProject(const std::string& folder, const std::string& name, const SdkReference& sdk,
                   std::vector<ProjectFile>& files, std::string& error)
{
    files.clear();
    for (const Template& t : templates) {
        const fs::path source = fs::path(folder) / t.source;
        ProjectFile file;
        if (!readText(source, file.text)) {
            error = "cannot read the template " + source.string();
            return false;
        }
        file.name = t.target;
        replaceAll(file.name, "NAME", name);
        replaceAll(file.text, "@NAME@", name);
        replaceAll(file.text, "@SDK@", sdk.prefix);
        replaceAll(file.text, "@SDK_REQUEST@", sdk.request);
        files.push_back(std::move(file));
    }
    return true;
}

namespace {

// Writes the files into folder, which is new or empty; on a failure removes
// what it wrote (and the folder, if it made it). Returns the exit status.
int writeProject(const std::string& folder, const std::vector<ProjectFile>& files, std::ostream& err)
{
    std::error_code error;
    const bool created = !fs::exists(folder, error);
    fs::create_directories(folder, error);
    std::vector<fs::path> written;
    const auto undo = [&](int status) {
        std::error_code ignored;
        for (const fs::path& path : written)
            fs::remove(path, ignored);
        if (created)
            fs::remove(folder, ignored);
        return status;
    };
    if (error) {
        err << "zorv-host new: cannot make the folder " << folder << ": " << error.message() << "\n";
        return 1;
    }
    for (const ProjectFile& file : files) {
        const fs::path path = fs::path(folder) / file.name;
        if (fs::exists(path, error)) {   // appeared since the folder was found empty
            err << "zorv-host new: " << path.string() << " appeared meanwhile; nothing is overwritten\n";
            return undo(2);
        }
        std::ofstream stream(path, std::ios::binary);
        written.push_back(path);
        stream << file.text;
        if (!stream.flush()) {
            err << "zorv-host new: cannot write " << path.string() << "\n";
            return undo(1);
        }
    }
    return 0;
}

// Why the project cannot be made from what was asked, or "" when it can;
// sets the rendered files.
std::string projectProblem(const std::string& name, const std::string& folder, std::vector<ProjectFile>& files)
{
    std::string problem = componentNameError(name);
    if (problem.empty())
        problem = targetFolderError(folder);
    if (!problem.empty())
        return problem;
    const std::string templateFolder = findTemplateFolder();
    if (templateFolder.empty())
        return "no project templates found (looked in " + installedTemplates().string() + ")";
    renderProject(templateFolder, name, thisSdk(), files, problem);
    return problem;
}

} // namespace

int newProject(const std::string& name, const std::string& folderArgument, std::ostream& out, std::ostream& err)
{
    const std::string folder = folderArgument.empty() ? name : folderArgument;
    std::vector<ProjectFile> files;
    const std::string problem = projectProblem(name, folder, files);
    if (!problem.empty()) {
        err << "zorv-host new: " << problem << "\n";
        return 2;
    }
    if (int status = writeProject(folder, files, err); status != 0)
        return status;
    out << "Created the component " << name << " in " << folder << "/:";
    for (const ProjectFile& file : files)
        out << " " << file.name;
    out << "\nNext: cd " << folder << " and follow README.md (cmake, ctest, zorv-host check).\n";
    return 0;
}

void addNew(CLI::App& app, int& status)
{
    auto name = std::make_shared<std::string>();
    auto folder = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand("new", "write a ready component project: class, layout, scenario, CMake");
    command->footer("Exit status: 0 the project is written, 1 it could not be written,\n"
                    "2 refused (a bad name, a folder not empty) or bad usage.");
    command->add_option("NAME", *name, "the component's name: its class, library and file names")->required();
    command->add_option("DIR", *folder, "an empty or new folder for the project (default: ./NAME)");
    command->callback([name, folder, &status] { status = newProject(*name, *folder, std::cout, std::cerr); });
}

} // namespace zorv_host::cli
