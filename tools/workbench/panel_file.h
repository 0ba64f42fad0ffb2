// Panel files (*.zorv_panel): a whole router panel for the workbench — the
// component placements, the parent's configuration of them, the state-sheet
// table the page draws "statesheet" properties with, and the router with its
// named sources and destinations. The format is JSON, described in
// docs/workbench.md.
#ifndef ZORV_WORKBENCH_PANEL_FILE_H
#define ZORV_WORKBENCH_PANEL_FILE_H

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zorv_workbench {

constexpr int panelFormatVersion = 1;

enum class Runner { Native, Wine };

struct StateSheet {
    std::string background;   // CSS colours
    std::string color;
    std::string border;
};

struct Placement {
    std::string name;                // unique on the panel
    std::string library;             // native module, absolute path
    std::string dll;                 // the DLL for Wine, absolute path ("" when none)
    Runner runner = Runner::Native;
    std::string basePath;            // passed to the factory ("" = the library's folder)
    std::string instance;            // "instance=" at start ("" sends none)
    std::string selectedbg, deselectedbg;   // placement's own, or the panel's
};

struct RouterDevice {
    int number = 0;
    std::string name;
    std::vector<std::string> sources;        // source n is sources[n - 1]
    std::vector<std::string> destinations;   // destination n is destinations[n - 1]
};

struct PanelFile {
    std::string path;                        // the file it came from
    std::string title;
    std::map<std::string, StateSheet> stateSheets;
    std::vector<Placement> placements;
    std::vector<RouterDevice> devices;
    std::map<std::string, std::string> instances;   // SD name -> "{device} {offset}"
    int parentDevice = 0;                    // whose sources the parent's row shows
    std::string wineHost;                    // zorv-host.exe for Wine placements
    // What may be meant but looks like a slip (a state sheet the table
    // lacks, an instance the table lacks): said at start, not refused.
    std::vector<std::string> warnings;

    const RouterDevice* device(int number) const;
    const Placement* placement(const std::string& name) const;
};

// Where names in a panel file point: "{bin}" in a path is the folder of the
// running zorv-host (where the native build puts component modules), "{dist}"
// the folder of the shipped DLLs; other relative paths are taken from the
// panel file's folder.
struct PathRoots {
    std::string bin;
    std::string dist;
};

// Parses a panel file; on failure nullopt, with error "PATH: what is wrong".
std::optional<PanelFile> parsePanelFile(const std::string& text, const std::string& path, const PathRoots& roots,
                                        std::string& error);
std::optional<PanelFile> loadPanelFile(const std::string& path, const PathRoots& roots, std::string& error);

} // namespace zorv_workbench

#endif
