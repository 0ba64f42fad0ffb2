// new: a ready component project from the templates under templates/component
// (installed as PREFIX/share/zorv/templates/component).
#ifndef ZORV_HOST_CLI_NEW_H
#define ZORV_HOST_CLI_NEW_H

#include <ostream>
#include <string>
#include <vector>

namespace zorv_host::cli {

// Why NAME cannot name a component (it is the class, the target and the file
// names): "" when it can. It must be a C++ identifier that is no keyword, no
// reserved identifier, no name the SDK's headers declare, no target name
// CMake keeps for itself and no device name Windows refuses as a file name.
std::string componentNameError(const std::string& name);

// Why the project cannot be written into folder: "" when it is missing or
// an empty folder. Nothing in an existing folder is ever overwritten.
std::string targetFolderError(const std::string& folder);

// The template folder beside this program, BIN/../share/zorv/templates/
// component (installed, or laid out alike in the build tree); "" when it
// does not hold the templates.
std::string findTemplateFolder();

// The installed SDK's prefix (templates and CMake package) when zorv-host
// runs from one, else "".
std::string installedPrefix();

struct ProjectFile {
    std::string name;   // relative to the project folder
    std::string text;
};

// What a written project asks of the SDK: the prefix its README's commands
// use, and the version a.b of its find_package(ZorvSDK a.b).
struct SdkReference {
    std::string prefix;
    std::string request;
};

// This program's SDK: its installed prefix (a stand-in path when it runs
// from a build tree) and the release's a.b.
SdkReference thisSdk();

// Reads every template and fills @NAME@, @SDK@ and @SDK_REQUEST@. False
// with error when a template is missing.
bool renderProject(const std::string& templates, const std::string& name, const SdkReference& sdk,
                   std::vector<ProjectFile>& files, std::string& error);

// The whole command: checks, renders and writes NAME's project into folder
// (default ./NAME). Returns the exit status: 0 written, 1 a file could not
// be written (nothing is left behind), 2 a refused name or folder, or no
// templates.
int newProject(const std::string& name, const std::string& folder, std::ostream& out, std::ostream& err);

} // namespace zorv_host::cli

#endif
