// zorv-host coverage: what a component's own tests reach of its code. The
// component is built with gcov's instrumentation (ZORV_COVERAGE in the
// SDK's CMake functions); this plays its scenarios and its validation (the
// storm among its checks), each process adding its counts when it ends, and
// has gcovr turn the counts into an HTML report and figures: lines and
// branches reached per file, and the functions never reached, handlers
// first. Native builds only: the counts are gcc's (or clang's) gcov data.
#ifndef ZORV_HOST_COVERAGE_H
#define ZORV_HOST_COVERAGE_H

#include <string>
#include <vector>

#include "vocabulary.h"

namespace zorv_host {

struct CoverageOptions {
    std::string library;
    std::string objects;   // the folder holding the component's .gcno files (its objects)
    std::string sources;   // the folder of the sources to report on
    std::string out;       // where index.html, coverage.json and summary.txt go
    std::string gcov = "gcov";   // the gcov program matching the compiler ("llvm-cov-14 gcov" for clang)
    std::vector<std::string> scenarios;      // played by check
    std::vector<std::string> validateArgs;   // validate's options (--strictness, --scenario, --seed, ...)
    double timeout = 300;   // for each child run
};

struct FileCoverage {
    std::string file;   // relative to the sources folder, as gcovr names it
    int lines = 0, linesReached = 0;
    int branches = 0, branchesReached = 0;
    int functions = 0, functionsReached = 0;
};

struct UnreachedFunction {
    std::string name;   // demangled, with its parameters
    std::string file;
    int line = 0;
    bool handler = false;   // an event handler the host calls (buttonCallback, timerCallback, ...)
};

struct CoverageFigures {
    std::vector<FileCoverage> files;        // in gcovr's order (by name)
    std::vector<UnreachedFunction> unreached;   // handlers first, then by file and line
    FileCoverage total;                     // file empty
};

// The figures of a gcovr --json report. False, with error set, where the
// text is no such report.
bool readCoverageFigures(const std::string& gcovrJson, CoverageFigures& figures, std::string& error);

// True for a function that overrides one of the framework's event
// handlers ("Blinker::timerCallback(int)").
bool isEventHandler(const std::string& functionName);

// The figures as the summary prints them: a table of files, a total, and
// the functions never reached, each with its place.
std::string describeCoverage(const CoverageFigures& figures);

// Runs everything; returns the exit status (0 the report was written, 2 bad
// usage or a library without coverage data, 3 gcovr missing or failing).
int runCoverage(const CoverageOptions& options);

} // namespace zorv_host

#endif
