// panel: the workbench — a whole panel of placements in a browser page,
// with the parent panel, the router and host timers (docs/workbench.md).
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <pthread.h>
#include <thread>
#include <vector>

#include "cli/options.h"
#include "paths.h"
#include "cli/subcommands.h"
#include "panel_file.h"
#include "platform/files.h"
#include "platform/process.h"
#include "server.h"
#include "workbench.h"

namespace zorv_host::cli {

namespace {

struct PanelOptions {
    std::string panelFile;
    int port = 8080;
    std::string pageDir;
    std::string dist;   // "" = found (see defaultDist)
    std::string dist64; // "" = found (see defaultDist64)
    std::string wineBits;   // "" = the panel file's choice
    std::string recordDir = "workbench-recordings";
    double eventSeconds = 2.0;
    bool noWine = false;
    bool printLog = false;
};

using zorv_workbench::absolutePath;

// The first of folders that holds a zorv-host.exe, made absolute; the first
// of them when none does.
std::string firstWithHost(const std::vector<std::string>& folders)
{
    for (const std::string& folder : folders)
        if (zorv_host::platform::fileReadable(folder + "/zorv-host.exe"))
            return absolutePath(folder);
    return absolutePath(folders.front());
}

// The shipped DLLs and zorv-host.exe, when --dist is not given: dist/ here,
// the folder of zorv-host itself (an installed SDK keeps zorv-host.exe
// beside it), or the checkout's dist/ seen from a build folder's bin/.
std::string defaultDist(const std::string& bin)
{
    return firstWithHost({"dist", bin, bin + "/../../../dist"});
}

// The 64-bit test build laid out as dist/ is (build/dist64 of a checkout),
// when --dist64 is not given: here, or seen from a build folder's bin/.
std::string defaultDist64(const std::string& bin)
{
    return firstWithHost({"build/dist64", bin + "/../../dist64"});
}

zorv_workbench::WorkbenchOptions workbenchOptionsOf(const PanelOptions& options, const std::string& self)
{
    zorv_workbench::WorkbenchOptions workbenchOptions;
    workbenchOptions.selfPath = self;
    workbenchOptions.wine = options.noWine ? "" : "wine";
    workbenchOptions.wine64 = options.noWine ? "" : "wine64";
    if (const char* prefix = std::getenv("ZORV_WINE64_PREFIX"))
        workbenchOptions.wine64Prefix = prefix;
    workbenchOptions.eventSeconds = options.eventSeconds;
    workbenchOptions.recordDir = options.recordDir;
    return workbenchOptions;
}

// Serves the page until Ctrl-C or SIGTERM, which a thread of its own waits
// for (they are blocked in every other thread); false when serving failed.
bool serveUntilEnded(zorv_workbench::Server& server, const sigset_t& endings)
{
    std::thread ender([&server, endings] {
        int sig = 0;
        sigwait(&endings, &sig);
        server.stop();
    });
    bool served = server.run();
    pthread_kill(ender.native_handle(), SIGTERM);
    ender.join();
    return served;
}

int runPanel(PanelOptions options)
{
    using namespace zorv_workbench;
    std::string self = zorv_host::platform::executablePath();
    if (self.empty())
        self = "zorv-host";
    if (options.dist.empty())
        options.dist = defaultDist(zorv_host::folderOf(self));
    if (options.dist64.empty())
        options.dist64 = defaultDist64(zorv_host::folderOf(self));
    options.recordDir = absolutePath(options.recordDir);
    std::string error;
    PathRoots roots{zorv_host::folderOf(self), absolutePath(options.dist), absolutePath(options.dist64)};
    std::optional<PanelFile> panel = loadPanelFile(options.panelFile, roots, error);
    if (!panel) {
        std::cerr << "zorv-host panel: " << error << "\n";
        return 2;
    }
    if (!options.wineBits.empty())
        panel->wineBits = *parseWineBits(options.wineBits);
    for (const std::string& warning : panel->warnings)
        std::cerr << "zorv-host panel: note: " << warning << "\n";
    // Ctrl-C and SIGTERM end the workbench through a thread of its own; a
    // child that went away must not end it through SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t endings;
    sigemptyset(&endings);
    sigaddset(&endings, SIGINT);
    sigaddset(&endings, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &endings, nullptr);

    Workbench workbench(*panel, workbenchOptionsOf(options, self));
    Server server(workbench, options.pageDir);
    int port = server.bind(options.port);
    if (port < 0) {
        std::cerr << "zorv-host panel: cannot listen on 127.0.0.1:" << options.port
                  << " (is the port in use? --port 0 picks a free one)\n";
        return 2;
    }
    workbench.start();
    std::size_t count = panel->placements.size();
    std::cout << "workbench: " << server.url() << "  (" << count << (count == 1 ? " placement" : " placements")
              << "; Ctrl-C ends it)\n"
              << "recordings go to " << options.recordDir << "/" << std::endl;
    const bool served = serveUntilEnded(server, endings);
    workbench.stop();
    if (options.printLog)
        std::cout << "\n== the log\n" << workbench.logText();
    if (!panel->devices.empty())
        std::cout << "\n== the router\n" << workbench.crosspointTable();
    std::cout << std::flush;
    return served ? 0 : 2;
}

} // namespace

void addPanel(CLI::App& app, int& status)
{
    auto options = std::make_shared<PanelOptions>();
    CLI::App* command = app.add_subcommand("panel", "the workbench: a whole panel of components in a browser page");
    command->footer("Exit status: 0 ended by Ctrl-C, 2 the panel file or the port cannot be used, or bad usage.");
    command->add_option("PANEL_FILE", options->panelFile, "the panel file (*.zorv_panel, docs/workbench.md)")
        ->required()
        ->check(CLI::ExistingFile);
    command->add_option("--port", options->port, "the port on 127.0.0.1 (0 picks a free one)")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
    command->add_option("--page", options->pageDir, "serve the page from this folder instead of the built-in one")
        ->check(CLI::ExistingDirectory);
    command->add_option("--dist", options->dist,
                        "the folder of the shipped DLLs and zorv-host.exe ({dist}); by default ./dist, the folder of "
                        "zorv-host, or the checkout's dist/ when zorv-host is in a build folder");
    command->add_option("--dist64", options->dist64,
                        "the folder of the 64-bit test build of the DLLs and zorv-host.exe ({dist64}); by default "
                        "the checkout's build/dist64/");
    command->add_option("--wine-bits", options->wineBits,
                        "which Wine runs the \"wine\" placements: 32 (the shipped DLLs), 64 (their 64-bit test "
                        "build), auto (32 where 32-bit Wine starts, else 64); overrides the panel file's wine_bits")
        ->check(CLI::IsMember({"auto", "32", "64"}));
    command->add_option("--record-dir", options->recordDir, "where a recording writes its scenario files")
        ->capture_default_str();
    command->add_option("--event-seconds", options->eventSeconds, "a placement slower than this on one event is hung")
        ->check(CLI::Range(0.1, 600.0))
        ->capture_default_str();
    command->add_flag("--no-wine", options->noWine, "run Wine placements on their native modules");
    command->add_flag("--print-log", options->printLog, "print the whole log when the workbench ends");
    command->callback([options, &status] { status = runPanel(*options); });
}

} // namespace zorv_host::cli
