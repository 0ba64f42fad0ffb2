// How a workbench's "wine" placements run: which Wine (32-bit with the
// shipped DLLs, or 64-bit with their test build), with which zorv-host.exe,
// and why none can when none can. POSIX only, as the workbench is.
#ifndef ZORV_WORKBENCH_WINE_CHOICE_H
#define ZORV_WORKBENCH_WINE_CHOICE_H

#include <string>
#include <vector>

#include "workbench.h"

namespace zorv_workbench {

// How the "wine" placements run: which Wine, with which zorv-host.exe.
struct WineChoice {
    int bits = 0;                // 32 or 64; 0 when they run natively
    std::string loader;          // the Wine loader
    std::string host;            // zorv-host.exe of that bitness
    std::vector<std::string> environment;   // NAME=value for the children
    std::string note;            // when it is not the shipped 32-bit image
    std::string problem;         // why no Wine runs them
    bool insisted = false;       // one Wine was asked for: they fail without it
};

// Chooses by the panel's wine_bits: 32-bit where it starts, else 64-bit
// (with a note), unless the panel insists on one.
WineChoice chooseWine(const PanelFile& panel, const WorkbenchOptions& options);

// "32-bit Wine" or "64-bit Wine".
std::string wineName(const WineChoice& choice);

// The command line that runs the choice's zorv-host.exe under its Wine with args.
std::vector<std::string> wineCommand(const WineChoice& choice, const std::vector<std::string>& args);

// One line a POSIX shell reads back as these words.
std::string shellCommand(const std::vector<std::string>& words);

// Whether path names a regular file.
bool fileExists(const std::string& path);

} // namespace zorv_workbench

#endif
