// coverage: what a component's scenarios and validation reach of its code.
#include "cli/options.h"
#include "cli/subcommands.h"
#include "coverage.h"

namespace zorv_host::cli {

void addCoverage(CLI::App& app, int& status)
{
    auto options = std::make_shared<CoverageOptions>();
    CLI::App* command = app.add_subcommand(
        "coverage", "play a coverage build's scenarios and validation; report what they reached (gcovr)");
    command->footer("The SDK's zorv_add_coverage_report() gives a target that runs this. Exit status: 0 the\n"
                    "report is written, 1 it is written but a test failed, 2 bad usage or no coverage notes,\n"
                    "3 gcovr is missing or failed.");
    addLibrary(*command, options->library);
    command->add_option("--objects", options->objects, "the folder of the component's objects and .gcno files")
        ->required()
        ->check(CLI::ExistingDirectory);
    command->add_option("--sources", options->sources, "the folder of the sources to report on")
        ->required()
        ->check(CLI::ExistingDirectory);
    command->add_option("--out", options->out, "where the report goes")->required();
    command->add_option("--gcov", options->gcov, "the gcov program of the compiler, e.g. \"llvm-cov-14 gcov\"")
        ->capture_default_str();
    command->add_option("--scenario", options->scenarios, "a scenario check plays (repeatable)")
        ->check(CLI::ExistingFile)
        ->allow_extra_args(false);
    command->add_option("VALIDATE_OPTIONS", options->validateArgs,
                        "validate's options, after a \"--\": -- --strictness 3 --scenario FILE --seed 1");
    command->callback([options, &status] { status = runCoverage(*options); });
}

} // namespace zorv_host::cli
