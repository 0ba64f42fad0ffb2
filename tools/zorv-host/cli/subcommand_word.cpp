#include "cli/subcommand_word.h"

#include <algorithm>
#include <vector>

#include "scenario.h"   // nearestWord: scenario typos get the same hint

namespace zorv_host::cli {

namespace {

// The first argument that is no option: at the top level every option is a
// flag, so it is the word that should name a subcommand. "" when "--" or the
// end comes first.
std::string firstWord(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--")
            break;
        if (!arg.empty() && arg[0] != '-')
            return arg;
    }
    return "";
}

std::string joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : ", ") + word;
    return text;
}

// Neither zorv-host.exe nor a native build without cpp-httplib has the
// workbench's web server: there "panel", or a typo of it, is told where it runs.
bool asksForMissingWorkbench(const std::string& word, std::vector<std::string> names)
{
    if (std::find(names.begin(), names.end(), "panel") != names.end())
        return false;
    names.push_back("panel");
    return nearestWord(word, names) == "panel";
}

} // namespace

std::string unknownSubcommandMessage(const CLI::App& app, int argc, const char* const* argv)
{
    const std::string word = firstWord(argc, argv);
    if (word.empty())
        return "";
    std::vector<std::string> names;
    for (const CLI::App* subcommand : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (subcommand->check_name(word))
            return "";
        names.push_back(subcommand->get_name());
    }
    if (asksForMissingWorkbench(word, names))
        return "zorv-host: this build has no workbench: \"panel\" runs in the native (Linux) zorv-host"
               " (one built with cpp-httplib)\n";
    std::string message = "zorv-host: \"" + word + "\" is not a subcommand";
    const std::string nearest = nearestWord(word, names);
    if (!nearest.empty())
        message += "; did you mean \"" + nearest + "\"?";
    return message + "\nSubcommands: " + joined(names) + "\nRun with --help for more information.\n";
}

} // namespace zorv_host::cli
