// bridge: one component in this process, driven over standard input and
// output by a host that runs many (the line protocol is in bridge.h).
#include "bridge.h"
#include "cli/options.h"
#include "cli/subcommands.h"

namespace zorv_host::cli {

void addBridge(CLI::App& app, int& status)
{
    auto library = std::make_shared<std::string>();
    CLI::App* command =
        app.add_subcommand(bridgeEntry, "one component driven over standard input and output (for the workbench)");
    command->footer("Exit status: 0 its input ended, 2 bad usage or its input went away mid-query,\n"
                    "3 the library cannot be loaded, 70 the component crashed.");
    addLibrary(*command, *library);
    command->callback([library, &status] { status = runBridge(*library); });
}

} // namespace zorv_host::cli
