// What zorv-host says when its first word names no subcommand: the nearest
// subcommand for a likely typo, the list, and where the workbench runs when
// the build has none.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/subcommand_word.h"

using zorv_host::cli::unknownSubcommandMessage;

namespace {

// A front with the given subcommands, in that order, as main adds them.
std::unique_ptr<CLI::App> frontWith(const std::vector<std::string>& names)
{
    auto app = std::make_unique<CLI::App>("test front");
    for (const std::string& name : names)
        app->add_subcommand(name, name);
    return app;
}

std::string messageFor(const CLI::App& app, std::vector<const char*> args)
{
    args.insert(args.begin(), "zorv-host");
    return unknownSubcommandMessage(app, static_cast<int>(args.size()), args.data());
}

const std::vector<std::string> native = {"run", "check", "interactive", "validate", "soak",
                                         "image-check", "preflight", "bridge", "new", "panel"};
const std::vector<std::string> withoutWorkbench = {"run", "check", "interactive", "validate", "soak",
                                                   "image-check", "preflight", "bridge", "new"};

struct WordCase {
    std::vector<const char*> args;
    std::string expected;   // the whole message; "" when the front is to parse the line itself
};

TEST(SubcommandWord, NamesTheNearestSubcommandAndListsThemAll)
{
    const std::string list = "\nSubcommands: run, check, interactive, validate, soak, image-check, preflight, "
                             "bridge, new, panel\nRun with --help for more information.\n";
    const WordCase cases[] = {
        {{"valdate", "lib.so"}, "zorv-host: \"valdate\" is not a subcommand; did you mean \"validate\"?" + list},
        {{"pannel", "x.zorv_panel"}, "zorv-host: \"pannel\" is not a subcommand; did you mean \"panel\"?" + list},
        {{"--help-me", "Soak"}, "zorv-host: \"Soak\" is not a subcommand; did you mean \"soak\"?" + list},
        {{"imagecheck"}, "zorv-host: \"imagecheck\" is not a subcommand; did you mean \"image-check\"?" + list},
        {{"frobnicate"}, "zorv-host: \"frobnicate\" is not a subcommand" + list},
        {{"x"}, "zorv-host: \"x\" is not a subcommand" + list},   // one letter is no typo of anything
        {{"validate", "valdate"}, ""},
        {{"panel"}, ""},
        {{}, ""},
        {{"--bogus"}, ""},
        {{"--", "valdate"}, ""},
    };
    const auto app = frontWith(native);
    for (const WordCase& c : cases)
        EXPECT_EQ(messageFor(*app, c.args), c.expected) << (c.args.empty() ? "(no arguments)" : c.args[0]);
}

TEST(SubcommandWord, PrefersTheNearerOfTwoLikelyTyposOverTheFirst)
{
    // "nun" is two edits from "new" and one from "run".
    const auto app = frontWith({"new", "run"});
    EXPECT_NE(messageFor(*app, {"nun"}).find("did you mean \"run\"?"), std::string::npos) << messageFor(*app, {"nun"});
}

TEST(SubcommandWord, PanelWithoutTheWorkbenchSaysWhereItRuns)
{
    const auto app = frontWith(withoutWorkbench);
    const std::string whereItRuns = "zorv-host: this build has no workbench: \"panel\" runs in the native (Linux)"
                                    " zorv-host (one built with cpp-httplib)\n";
    EXPECT_EQ(messageFor(*app, {"panel", "demo.zorv_panel"}), whereItRuns);
    EXPECT_EQ(messageFor(*app, {"pannel"}), whereItRuns);
    EXPECT_NE(messageFor(*app, {"valdate"}).find("did you mean \"validate\"?"), std::string::npos);
}

} // namespace
