// soak: a long ordinary run through one component.
#include "cli/options.h"
#include "cli/subcommands.h"
#include "soak.h"

namespace zorv_host::cli {

void addSoak(CLI::App& app, int& status)
{
    auto options = std::make_shared<SoakOptions>();
    CLI::App* command = app.add_subcommand("soak", "a long ordinary run; books and memory at checkpoints");
    command->footer("Exit status: 0 the books balance, 1 a rule broken or a reply left outstanding,\n"
                    "2 bad usage, 3 the library cannot be loaded, 70 the component crashed.");
    addLibrary(*command, options->library);
    command->add_option("--events", options->events, "how many events to send")
        ->check(positiveCount())
        ->capture_default_str();
    addVocabularyOptions(*command, options->sources, options->guard);
    command->callback([options, &status] { status = runSoak(*options); });
}

} // namespace zorv_host::cli
