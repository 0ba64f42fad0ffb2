// What the front says when the command line's first word names no
// subcommand: CLI11 alone would say only that a subcommand is required.
#ifndef ZORV_HOST_CLI_SUBCOMMAND_WORD_H
#define ZORV_HOST_CLI_SUBCOMMAND_WORD_H

#include <string>

#include <CLI/CLI.hpp>

namespace zorv_host::cli {

// For a first word that is no subcommand of app: that it is none, the
// nearest subcommand when one is a likely typo, and the list of them; for
// "panel" or a typo of it in a build without the workbench, where it runs.
// "" when the first word is a subcommand or there is none (options only).
std::string unknownSubcommandMessage(const CLI::App& app, int argc, const char* const* argv);

} // namespace zorv_host::cli

#endif
