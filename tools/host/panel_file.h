// Panel files (*.zorv_panel): a whole router panel for the workbench — the
// component placements, the parent's configuration of them, the state-sheet
// table the page draws "statesheet" properties with, and the router with its
// named sources and destinations. The format is JSON, described in
// docs/workbench.md.
#ifndef ZORV_HOST_PANEL_FILE_H
#define ZORV_HOST_PANEL_FILE_H

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zorv_host {

constexpr int panelFormatVersion = 1;

enum class Runner { Native, Wine };

// Which Wine runs the "wine" placements: the shipped 32-bit DLLs under
// 32-bit Wine, or the 64-bit test build of the same modules under 64-bit
// Wine, which starts where the kernel runs no 32-bit programs. Auto takes
// 32-bit where it starts, else 64-bit.
enum class WineBits { Auto, Win32, Win64 };

struct StateSheet {
    std::string background;   // CSS colours
    std::string color;
    std::string border;
};

struct Placement {
    std::string name;                // unique on the panel
    std::string library;             // native module, absolute path
    std::string dll;                 // the DLL for 32-bit Wine, absolute path ("" when none)
    std::string dll64;               // its 64-bit test build for 64-bit Wine ("" when none)
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

// The device of that number among devices, or null.
const RouterDevice* findDevice(const std::vector<RouterDevice>& devices, int number);

struct PanelFile {
    std::string path;                        // the file it came from
    std::string title;
    std::map<std::string, StateSheet> stateSheets;
    std::vector<Placement> placements;
    std::vector<RouterDevice> devices;
    std::map<std::string, std::string> instances;   // SD name -> "{device} {offset}"
    int parentDevice = 0;                    // whose sources the parent's row shows
    std::string wineHost;                    // zorv-host.exe for Wine placements (32-bit)
    std::string wine64Host;                  // its 64-bit test build
    WineBits wineBits = WineBits::Auto;
    // What may be meant but looks like a slip (a state sheet the table
    // lacks, an instance the table lacks): said at start, not refused.
    std::vector<std::string> warnings;

    const RouterDevice* device(int number) const;
    const Placement* placement(const std::string& name) const;
};

// Where names in a panel file point: "{bin}" in a path is the folder of the
// running zorv-host (where the native build puts component modules), "{dist}"
// the folder of the shipped DLLs, "{dist64}" the folder of their 64-bit test
// build; other relative paths are taken from the panel file's folder. Every
// path comes out absolute.
struct PathRoots {
    std::string bin;
    std::string dist;
    std::string dist64;
};

// The path from the current folder made absolute (as it is when it is).
std::string absolutePath(const std::string& path);

// "auto", "32" or "64"; nullopt for anything else.
std::optional<WineBits> parseWineBits(const std::string& text);
std::string wineBitsName(WineBits bits);

// Parses a panel file; on failure nullopt, with error "PATH: what is wrong".
std::optional<PanelFile> parsePanelFile(const std::string& text, const std::string& path, const PathRoots& roots,
                                        std::string& error);
std::optional<PanelFile> loadPanelFile(const std::string& path, const PathRoots& roots, std::string& error);

} // namespace zorv_host

#endif
