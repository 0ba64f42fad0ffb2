// Option shapes more than one subcommand uses.
#ifndef ZORV_HOST_CLI_OPTIONS_H
#define ZORV_HOST_CLI_OPTIONS_H

#include <string>

#include <CLI/CLI.hpp>

namespace zorv_host::cli {

// The component library every subcommand loads: a positional argument that
// must name an existing file.
inline CLI::Option* addLibrary(CLI::App& command, std::string& library)
{
    return command.add_option("LIBRARY", library, "the component library (.so, or .dll in zorv-host.exe)")
        ->required()
        ->check(CLI::ExistingFile);
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
