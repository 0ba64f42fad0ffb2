// panel: the workbench — a whole panel of placements in a browser page,
// with the parent panel, the router and host timers (docs/workbench.md).
#include <csignal>
#include <iostream>
#include <pthread.h>
#include <thread>
#include <unistd.h>

#include "cli/options.h"
#include "cli/subcommands.h"
#include "panel_file.h"
#include "server.h"
#include "workbench.h"

namespace zorv_host::cli {

namespace {

struct PanelOptions {
    std::string panelFile;
    int port = 8080;
    std::string pageDir;
    std::string dist = "dist";
    std::string recordDir = "workbench-recordings";
    double eventSeconds = 2.0;
    bool noWine = false;
    bool printLog = false;
};

std::string selfPath()
{
    char path[4096];
    ssize_t got = readlink("/proc/self/exe", path, sizeof path - 1);
    return got > 0 ? std::string(path, static_cast<std::size_t>(got)) : std::string("zorv-host");
}

std::string folderOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

int runPanel(const PanelOptions& options)
{
    using namespace zorv_workbench;
    std::string self = selfPath();
    std::string error;
    std::optional<PanelFile> panel = loadPanelFile(options.panelFile, PathRoots{folderOf(self), options.dist}, error);
    if (!panel) {
        std::cerr << "zorv-host panel: " << error << "\n";
        return 2;
    }
    // Ctrl-C and SIGTERM end the workbench through a thread of its own; a
    // child that went away must not end it through SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t endings;
    sigemptyset(&endings);
    sigaddset(&endings, SIGINT);
    sigaddset(&endings, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &endings, nullptr);

    WorkbenchOptions workbenchOptions;
    workbenchOptions.selfPath = self;
    workbenchOptions.wine = options.noWine ? "" : "wine";
    workbenchOptions.eventSeconds = options.eventSeconds;
    workbenchOptions.recordDir = options.recordDir;
    Workbench workbench(*panel, workbenchOptions);
    Server server(workbench, options.pageDir);
    int port = server.bind(options.port);
    if (port < 0) {
        std::cerr << "zorv-host panel: cannot listen on 127.0.0.1:" << options.port << "\n";
        return 2;
    }
    workbench.start();
    std::cout << "workbench: http://127.0.0.1:" << port << "/  (" << panel->placements.size()
              << " placements; Ctrl-C ends it)" << std::endl;
    std::thread ender([&server, endings] {
        int sig = 0;
        sigwait(&endings, &sig);
        server.stop();
    });
    bool served = server.run();
    pthread_kill(ender.native_handle(), SIGTERM);
    ender.join();
    workbench.stop();
    if (options.printLog)
        std::cout << "\n== the log\n" << workbench.logText();
    std::cout << "\n== the router\n" << workbench.crosspointTable() << std::flush;
    return served ? 0 : 2;
}

} // namespace

void addPanel(CLI::App& app, int& status)
{
    auto options = std::make_shared<PanelOptions>();
    CLI::App* command = app.add_subcommand("panel", "the workbench: a whole panel of components in a browser page");
    command->add_option("PANEL_FILE", options->panelFile, "the panel file (*.zorv_panel, docs/workbench.md)")
        ->required()
        ->check(CLI::ExistingFile);
    command->add_option("--port", options->port, "the port on 127.0.0.1 (0 picks a free one)")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
    command->add_option("--page", options->pageDir, "serve the page from this folder instead of the built-in one")
        ->check(CLI::ExistingDirectory);
    command->add_option("--dist", options->dist, "the folder of the shipped DLLs and zorv-host.exe ({dist})")
        ->capture_default_str();
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
