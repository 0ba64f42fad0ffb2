// soak: a long ordinary run through one component.
#include "cli/options.h"
#include "cli/subcommands.h"
#include "soak.h"

namespace zorv_host::cli {

void addSoak(CLI::App& app, int& status)
{
    auto options = std::make_shared<SoakOptions>();
    CLI::App* command = app.add_subcommand("soak", "a long ordinary run; books and memory at checkpoints");
    addLibrary(*command, options->library);
    command->add_option("--events", options->events, "how many events to send")
        ->check(positiveCount())
        ->capture_default_str();
    command->add_option("--controls", options->sources.controls,
                        "also press these controls, PANEL:ID[,PANEL:ID...] (repeatable)")
        ->allow_extra_args(false);
    command->add_option("--scenario", options->sources.scenarios,
                        "also send every event of this scenario file (repeatable)")
        ->check(CLI::ExistingFile)
        ->allow_extra_args(false);
    command->add_flag("!--no-guard", options->guard, "lend host memory on the heap, not in guarded pages");
    command->callback([options, &status] { status = runSoak(*options); });
}

} // namespace zorv_host::cli
