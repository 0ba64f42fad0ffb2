#include "coverage.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <system_error>

#include <nlohmann/json.hpp>

#include "paths.h"
#include "platform/process.h"
#include "scenario_files.h"
#include "validator.h"

namespace zorv_host {

namespace fs = std::filesystem;

namespace {

const char* const handlerNames[] = {"buttonCallback", "eventOneCallback", "parentCallback",
                                    "eventSevenCallback", "timerCallback", "eventSixCallback"};

void addFile(CoverageFigures& figures, const nlohmann::json& file)
{
    FileCoverage counted;
    counted.file = file.value("file", std::string());
    for (const nlohmann::json& line : file.value("lines", nlohmann::json::array())) {
        if (line.value("gcovr/noncode", false) || line.value("gcovr/excluded", false))
            continue;
        ++counted.lines;
        counted.linesReached += line.value("count", 0L) > 0 ? 1 : 0;
        for (const nlohmann::json& branch : line.value("branches", nlohmann::json::array())) {
            ++counted.branches;
            counted.branchesReached += branch.value("count", 0L) > 0 ? 1 : 0;
        }
    }
    for (const nlohmann::json& function : file.value("functions", nlohmann::json::array())) {
        ++counted.functions;
        if (function.value("execution_count", 0L) > 0) {
            ++counted.functionsReached;
            continue;
        }
        const std::string name = function.value("name", std::string());
        figures.unreached.push_back({name, counted.file, function.value("lineno", 0), isEventHandler(name)});
    }
    FileCoverage& total = figures.total;
    total.lines += counted.lines;
    total.linesReached += counted.linesReached;
    total.branches += counted.branches;
    total.branchesReached += counted.branchesReached;
    total.functions += counted.functions;
    total.functionsReached += counted.functionsReached;
    figures.files.push_back(std::move(counted));
}

// "20/38  53%", or "0/0    -" where there is nothing to reach.
std::string figure(int reached, int total)
{
    char text[48];
    if (total == 0)
        std::snprintf(text, sizeof text, "%d/%d    -", reached, total);
    else
        std::snprintf(text, sizeof text, "%d/%d %3d%%", reached, total, reached * 100 / total);
    return text;
}

std::string row(const std::string& name, const FileCoverage& file, std::size_t width)
{
    char text[512];
    std::snprintf(text, sizeof text, "%-*s  %-16s %-16s %s\n", static_cast<int>(width), name.c_str(),
                  figure(file.linesReached, file.lines).c_str(), figure(file.branchesReached, file.branches).c_str(),
                  figure(file.functionsReached, file.functions).c_str());
    return text;
}

std::vector<fs::path> filesWithExtension(const std::string& folder, const char* extension)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->path().extension() == extension)
            found.push_back(it->path());
    return found;
}

// Counts start from nothing: each process that ends adds its own to these.
int removeCounts(const std::string& folder)
{
    const std::vector<fs::path> counts = filesWithExtension(folder, ".gcda");
    std::error_code error;
    for (const fs::path& path : counts)
        fs::remove(path, error);
    return static_cast<int>(counts.size());
}

// "passed", "failed (exit status 1)", or how the run ended.
std::string outcomeInWords(const ChildOutcome& child)
{
    if (!child.started)
        return "not started: " + child.description;
    if (child.timedOut || child.crashed)
        return child.description + " (its counts are lost)";
    return child.exitCode == 0 ? "passed" : "failed (exit status " + std::to_string(child.exitCode) + ")";
}

bool passed(const ChildOutcome& child)
{
    return child.started && !child.timedOut && !child.crashed && child.exitCode == 0;
}

// What a run that did not pass said of why: its FAIL lines and its errors.
void showFailures(const ChildOutcome& child)
{
    if (passed(child))
        return;
    std::istringstream lines(child.out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("FAIL", 0) == 0)
            std::cout << "  " << line << "\n";
    std::cout << child.err;
}

std::vector<std::string> validateCommand(const CoverageOptions& options)
{
    std::vector<std::string> args = {validateEntry, options.library};
    args.insert(args.end(), options.validateArgs.begin(), options.validateArgs.end());
    return args;
}

std::vector<std::string> gcovrCommand(const CoverageOptions& options, const std::string& name)
{
    return {"gcovr",
            "--root", options.sources,
            "--object-directory", options.objects,
            "--gcov-executable", options.gcov,
            "--exclude-throw-branches",
            "--html-details", options.out + "/index.html",
            "--html-title", "Coverage of " + name,
            "--json", options.out + "/coverage.json",
            options.objects};
}

// Plays the scenarios and the validation; true when both passed.
bool runTheTests(const CoverageOptions& options)
{
    bool allPassed = true;
    if (!options.scenarios.empty()) {
        std::vector<std::string> args = {checkEntry, options.library};
        args.insert(args.end(), options.scenarios.begin(), options.scenarios.end());
        const ChildOutcome scenarios = runSelf(args, options.timeout);
        std::cout << "scenarios (" << options.scenarios.size() << "): " << outcomeInWords(scenarios) << "\n";
        showFailures(scenarios);
        allPassed = passed(scenarios);
    }
    const ChildOutcome validation = runSelf(validateCommand(options), options.timeout);
    std::cout << "validation, its storm among the checks: " << outcomeInWords(validation) << "\n";
    showFailures(validation);
    return allPassed && passed(validation);
}

} // namespace

bool isEventHandler(const std::string& functionName)
{
    // gcovr names a member "Scope::name(parameters)"; a scope may itself hold
    // parentheses ("(anonymous namespace)::Faulty::timerCallback(int)").
    for (const char* handler : handlerNames) {
        const std::string scoped = std::string("::") + handler;
        const bool endsWithIt = functionName.size() >= scoped.size()
                                && functionName.compare(functionName.size() - scoped.size(), scoped.size(), scoped) == 0;
        if (endsWithIt || functionName.find(scoped + "(") != std::string::npos)
            return true;
    }
    return false;
}

bool readCoverageFigures(const std::string& gcovrJson, CoverageFigures& figures, std::string& error)
{
    const nlohmann::json report = nlohmann::json::parse(gcovrJson, nullptr, false);
    if (report.is_discarded() || !report.is_object() || !report.contains("files") || !report["files"].is_array()) {
        error = "not a gcovr JSON report (no \"files\" list)";
        return false;
    }
    figures = CoverageFigures();
    try {
        for (const nlohmann::json& file : report["files"])
            addFile(figures, file);
    } catch (const nlohmann::json::exception& bad) {
        error = std::string("a gcovr JSON report of another shape: ") + bad.what();
        return false;
    }
    std::stable_sort(figures.unreached.begin(), figures.unreached.end(),
                     [](const UnreachedFunction& a, const UnreachedFunction& b) { return a.handler && !b.handler; });
    return true;
}

std::string describeCoverage(const CoverageFigures& figures)
{
    std::size_t width = 5;
    for (const FileCoverage& file : figures.files)
        width = std::max(width, file.file.size());
    std::string text = row("file", FileCoverage(), width);
    text.replace(width + 2, std::string::npos, "lines            branches         functions\n");
    for (const FileCoverage& file : figures.files)
        text += row(file.file, file, width);
    text += row("total", figures.total, width);
    if (figures.unreached.empty())
        return text + "every function was reached\n";
    const auto handlers = std::count_if(figures.unreached.begin(), figures.unreached.end(),
                                        [](const UnreachedFunction& f) { return f.handler; });
    const std::size_t others = figures.unreached.size() - static_cast<std::size_t>(handlers);
    text += "never reached: " + std::to_string(handlers) + (handlers == 1 ? " handler, " : " handlers, ")
            + std::to_string(others) + (others == 1 ? " other function\n" : " other functions\n");
    for (const UnreachedFunction& function : figures.unreached)
        text += std::string(function.handler ? "  handler   " : "  function  ") + function.name + "  ("
                + function.file + ":" + std::to_string(function.line) + ")\n";
    return text;
}

int runCoverage(const CoverageOptions& options)
{
    const std::string name = fileNameOf(options.library);
    if (filesWithExtension(options.objects, ".gcno").empty()) {
        std::cerr << "zorv-host: no coverage notes (.gcno) under " << options.objects << ": build " << name
                  << " with -DZORV_COVERAGE=ON (natively)\n";
        return 2;
    }
    std::cout << "coverage of " << name << ": " << removeCounts(options.objects) << " earlier count files removed\n";
    const bool testsPassed = runTheTests(options);

    std::error_code error;
    fs::create_directories(options.out, error);
    const ChildOutcome gcovr = runProgram(gcovrCommand(options, name), options.timeout);
    if (!gcovr.started) {
        std::cerr << "zorv-host: gcovr not found (Debian: apt-get install gcovr): " << gcovr.description << "\n";
        return 3;
    }
    std::string problem;
    CoverageFigures figures;
    const std::optional<std::string> json = passed(gcovr) ? readFile(options.out + "/coverage.json") : std::nullopt;
    if (!json || !readCoverageFigures(*json, figures, problem)) {
        std::cerr << "zorv-host: gcovr " << outcomeInWords(gcovr) << (problem.empty() ? "" : ": " + problem) << "\n"
                  << gcovr.err;
        return 3;
    }
    const std::string summary = describeCoverage(figures);
    std::ofstream(options.out + "/summary.txt") << summary;
    std::cout << summary << "report: " << options.out << "/index.html (summary.txt and gcovr's coverage.json beside it)\n";
    if (!testsPassed)
        std::cout << "the tests did not all pass: the figures show what they reached before they failed\n";
    return testsPassed ? 0 : 1;
}

} // namespace zorv_host
