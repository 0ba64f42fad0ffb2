// preflight: is this component ready to deploy on this machine?
#include "cli/options.h"
#include "cli/subcommands.h"
#include "preflight.h"

namespace zorv_host::cli {

void addPreflight(CLI::App& app, int& status)
{
    auto options = std::make_shared<PreflightOptions>();
    CLI::App* command = app.add_subcommand(
        "preflight", "on the target Windows machine: will the host load this component? (zorv-host.exe)");
    command->footer("Exit status: 0 ready to deploy, 1 a check failed, 2 bad usage or not on Windows.\n"
                    "NOTE lines state what is assumed; SKIP lines name the failed item they need.");
    command->add_option("COMPONENT", options->component, "the component DLL")->required()->check(CLI::ExistingFile);
    command->add_option("--text-library", options->textLibrary,
                        "the host's zorv_string.dll (default: found as the host's loader would)")
        ->check(CLI::ExistingFile);
    command->add_option("--host-folder", options->hostFolder,
                        "the panel host program's folder, where its plain load looks for the component's imports "
                        "first (default: this program's)")
        ->check(CLI::ExistingDirectory);
    command->add_flag("--json", options->json, "print the items as JSON");
    command->callback([options, &status] { status = runPreflight(*options); });
}

} // namespace zorv_host::cli
