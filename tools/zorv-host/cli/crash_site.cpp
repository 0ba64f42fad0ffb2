// crash-site: the stack of a crashed process in words, for that process
// (session.h, describeCrashesHere); not for people to call.
#include <iostream>
#include <memory>

#include "cli/subcommands.h"
#include "crash_site.h"
#include "session.h"

namespace zorv_host::cli {

void addCrashSite(CLI::App& app, int& status)
{
    auto words = std::make_shared<std::vector<std::string>>();
    CLI::App* command = app.add_subcommand(crashSiteEntry, "")->group("");
    command->add_option("LIBRARY MODULE OFFSET", *words)->required();
    command->callback([words, &status] {
        std::vector<ReportedFrame> frames;
        for (std::size_t i = 1; i + 1 < words->size(); i += 2)
            if (std::optional<ReportedFrame> frame = readCrashFrame("! frame " + (*words)[i] + " " + (*words)[i + 1]))
                frames.push_back(*frame);
        const std::string lines = withCrashSite("", describeCrashSite(frames, words->front()));
        std::cerr << lines.substr(lines.empty() ? 0 : 1) << "\n";
        status = 0;
    });
}

} // namespace zorv_host::cli
