// zorv-host: a panel-host simulator for script components. This front only
// assembles the subcommands; each lives under cli/.
#include <iostream>

#include "cli/options.h"
#include "cli/subcommand_word.h"
#include "cli/subcommands.h"
#include "preflight.h"
#include "zorv_version.h"

int main(int argc, char** argv)
{
    CLI::App app{"zorv-host: plays the panel host's side for a script component"};
    app.footer("Exit status: 0 all well, 1 a mismatch or a rule break, 2 bad usage or scenario,\n"
               "3 the library cannot be loaded, 70 the component crashed.");
    // A path under Wine starts with '/': it is a file, never a /option. Set
    // before the subcommands are added, which inherit it.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "zorv-host " ZORV_VERSION, "print the release this program belongs to and exit");
    app.require_subcommand(1);
    app.failure_message(zorv_host::cli::failureMessage);
    int status = 0;
    zorv_host::cli::addPlay(app, status);
    zorv_host::cli::addValidate(app, status);
    zorv_host::cli::addSoak(app, status);
    zorv_host::cli::addImageCheck(app, status);
    zorv_host::cli::addPreflight(app, status);
    zorv_host::cli::addBridge(app, status);
    zorv_host::cli::addNew(app, status);
    zorv_host::cli::addCrashSite(app, status);
#if defined(ZORV_HOST_COVERAGE)
    zorv_host::cli::addCoverage(app, status);
#endif
#if defined(ZORV_HOST_WORKBENCH)
    zorv_host::cli::addPanel(app, status);
#endif
    std::string error;
    if (!zorv_host::applyTextLibraryOverride(error)) {
        std::cerr << "zorv-host: " << error << "\n";
        return 3;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForVersion& version) {
        return app.exit(version);
    } catch (const CLI::ParseError& error) {
        const std::string unknown = zorv_host::cli::unknownSubcommandMessage(app, argc, argv);
        if (unknown.empty())
            app.exit(error);   // prints the reason and the hint to --help
        else
            std::cerr << unknown;
        return 2;
    }
    return status;
}
