// Option shapes more than one subcommand uses.
#ifndef ZORV_HOST_CLI_OPTIONS_H
#define ZORV_HOST_CLI_OPTIONS_H

#include <string>

#include <CLI/CLI.hpp>

#include "vocabulary.h"

namespace zorv_host::cli {

// The component library every subcommand loads: a positional argument that
// must name an existing file.
inline CLI::Option* addLibrary(CLI::App& command, std::string& library)
{
    return command.add_option("LIBRARY", library, "the component library (.so, or .dll in zorv-host.exe)")
        ->required()
        ->check(CLI::ExistingFile);
}

// What validate and soak drive besides the component's own words: the
// controls and scenarios given, and whether host memory is guarded.
inline void addVocabularyOptions(CLI::App& command, VocabularySources& sources, bool& guard)
{
    command.add_option("--controls", sources.controls, "also press these controls, PANEL:ID[,PANEL:ID...] (repeatable)")
        ->allow_extra_args(false);
    command.add_option("--scenario", sources.scenarios, "also send every event of this scenario file (repeatable)")
        ->check(CLI::ExistingFile)
        ->allow_extra_args(false);
    // A callback, not a negated flag: help then shows no "{false}" beside it.
    command.add_flag_callback("--no-guard", [&guard] { guard = false; },
                              "lend host memory on the heap, not in guarded pages");
}

// A whole number of at least 1 ("--events 1000"); anything else is a usage
// error that says so.
inline const CLI::Validator& positiveCount()
{
    static const CLI::Validator validator(
        [](std::string& text) -> std::string {
            std::size_t end = 0;
            long long value = 0;
            try {
                value = std::stoll(text, &end);
            } catch (const std::exception&) {
                end = 0;
            }
            if (end != text.size() || text.empty() || value < 1)
                return "must be a whole number of at least 1, not \"" + text + "\"";
            return std::string();
        },
        "COUNT");
    return validator;
}

// The front's own wording of a usage error.
inline std::string failureMessage(const CLI::App* app, const CLI::Error& error)
{
    (void)app;
    return std::string("zorv-host: ") + error.what() + "\nRun with --help for more information.\n";
}

} // namespace zorv_host::cli

#endif
