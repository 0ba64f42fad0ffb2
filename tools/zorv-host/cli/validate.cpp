// validate: named checks of the host contract against one component.
#include <iostream>

#include "cli/options.h"
#include "cli/subcommands.h"
#include "validator.h"

#include <nlohmann/json.hpp>

namespace zorv_host::cli {

void addValidate(CLI::App& app, int& status)
{
    auto options = std::make_shared<ValidateOptions>();
    auto list = std::make_shared<bool>(false);
    CLI::App* command = app.add_subcommand(validateEntry, "named checks of the host contract");
    command->footer("Exit status: 0 every check passed (or warned), 1 a check failed, 2 bad usage,\n"
                    "3 the library cannot be loaded, 70 the component crashed (--in-process).");
    command->add_option("LIBRARY", options->library, "the component library")->check(CLI::ExistingFile);
    command->add_flag("--list", *list, "list the checks and exit");
    command->add_flag("--json", options->json, "print the results (with --list: the checks) as JSON");
    command->add_option("--junit", options->junit, "also write a JUnit XML report to this file");
    command->add_option("--only", options->only, "run only these checks or groups ('*' allowed)")->delimiter(',');
    command->add_option("--skip", options->skip, "skip these checks or groups ('*' allowed)")->delimiter(',');
    command->add_option("--strictness", options->strictness, "1 quick, 2 usual, 3 thorough")
        ->check(CLI::Range(1, 3))
        ->capture_default_str();
    command->add_option("--seed", options->seed, "seed of the randomised checks (printed when drawn)");
    command->add_option("--repeat", options->repeat, "run the selection this many times, in rounds")
        ->check(positiveCount());
    command->add_flag("--randomise", options->randomise,
                      "each round runs its checks in a shuffled order with a fresh seed (both printed)");
    command->add_option("-j,--jobs", options->jobs, "run this many checks at a time (output keeps the check order)")
        ->check(positiveCount());
    command->add_option("--timeout", options->timeout, "seconds a check may take (default 60 x strictness)")
        ->check(CLI::NonNegativeNumber);
    addVocabularyOptions(*command, options->sources, options->guard);
    command->add_flag("--in-process", options->inProcess, "run the checks in this process (debugging)");
    command->add_option("--run-check", options->runCheck)->group("");   // a child's side of one check
    command->callback([options, list, &status] {
        if (*list) {
            nlohmann::json list = nlohmann::json::array();
            for (const CheckInfo& check : listChecks()) {
                if (options->json)
                    list.push_back({{"name", check.name},
                                    {"description", check.description},
                                    {"runs_from_strictness", 1},
                                    {"fails_from_strictness",
                                     check.failsFrom ? nlohmann::json(check.failsFrom) : nlohmann::json()}});
                else
                    std::cout << check.name << "  " << check.description
                              << (check.failsFrom > 1   ? " [WARN below strictness " + std::to_string(check.failsFrom) + "]"
                                  : check.failsFrom == 0 ? std::string(" [WARN only]")
                                                         : "")
                              << "\n";
            }
            if (options->json)
                std::cout << nlohmann::json{{"schema", validateJsonSchema}, {"checks", list}}.dump(2) << "\n";
            status = 0;
            return;
        }
        if (options->library.empty())
            throw CLI::RequiredError("LIBRARY");
        status = runValidate(*options);
    });
}

} // namespace zorv_host::cli
