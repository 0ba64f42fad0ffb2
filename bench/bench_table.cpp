#include "bench_table.h"

#include <cstdlib>
#include <vector>

namespace bench_table {

namespace {

std::string formatted(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A time in the unit that keeps three digits or so.
std::string duration(double nanoseconds)
{
    if (nanoseconds < 1e3)
        return formatted("%.0f ns", nanoseconds);
    if (nanoseconds < 1e6)
        return formatted("%.2f µs", nanoseconds / 1e3);
    return formatted("%.2f ms", nanoseconds / 1e6);
}

class Table {
public:
    Table(const RunsByName& runs, const InstructionCounts& instructions) : runs_(runs), instructions_(instructions) {}

    bool has(const char* name) const { return runs_.count(name) != 0; }
    const RunFigures& run(const char* name) const { return runs_.at(name); }
    double counter(const char* name, const char* counter) const
    {
        const auto& counters = run(name).counters;
        auto found = counters.find(counter);
        return found == counters.end() ? 0 : found->second;
    }
    // Seconds per event, as the benchmark's "s/event" counter gives it, in ns.
    double perEvent(const char* name) const { return counter(name, "s/event") * 1e9; }
    bool counted(const char* road) const { return instructions_.count(road) != 0; }
    std::string instructions(const char* road) const
    {
        return counted(road) ? formatted("%.0f", instructions_.at(road)) : "not counted";
    }
    double instructionRatio(const char* a, const char* b) const
    {
        return counted(a) && counted(b) && instructions_.at(b) > 0 ? instructions_.at(a) / instructions_.at(b) : 0;
    }

    void row(const std::vector<std::string>& cells, std::FILE* out) const
    {
        for (const std::string& cell : cells)
            std::fprintf(out, "| %s ", cell.c_str());
        std::fprintf(out, "|\n");
    }

private:
    const RunsByName& runs_;
    const InstructionCounts& instructions_;
};

void printTakeRoad(const Table& t, std::FILE* out)
{
    if (!t.has("BM_TakeRoad") || !t.has("BM_TakeRoadFloor"))
        return;
    const double take = t.perEvent("BM_TakeRoad"), floor = t.perEvent("BM_TakeRoadFloor");
    t.row({"take road, per event (`BM_TakeRoad`)", duration(take),
           formatted("%.2f", t.counter("BM_TakeRoad", "allocs/event")), t.instructions("take"), ""},
          out);
    t.row({"hand-formatted floor, per take-road event (`BM_TakeRoadFloor`)", duration(floor),
           formatted("%.2f", t.counter("BM_TakeRoadFloor", "allocs/event")), t.instructions("floor"), ""},
          out);
    const double instructionRatio = t.instructionRatio("take", "floor");
    t.row({"**take road / floor**", formatted("**%.2f**", floor > 0 ? take / floor : 0), "",
           instructionRatio > 0 ? formatted("**%.2f**", instructionRatio) : "", "time: at most 1.25"},
          out);
}

void printQuietMessage(const Table& t, std::FILE* out)
{
    if (!t.has("BM_QuietMessage"))
        return;
    t.row({"quiet message, \"source=5\" unselected (`BM_QuietMessage`)", duration(t.perEvent("BM_QuietMessage")),
           formatted("**%.2f**", t.counter("BM_QuietMessage", "allocs/event")), t.instructions("quiet"),
           "at most 1 allocation"},
          out);
}

// Three lengths of one benchmark and the growth from 1 KiB to 1 MiB.
void printScaling(const Table& t, const char* label, const char* benchmark, const char* allocations,
                  std::FILE* out)
{
    const std::string prefix = std::string(benchmark) + "/";
    const std::string small = prefix + "16", kib = prefix + "1024", mib = prefix + "1048576";
    if (!t.has(small.c_str()) || !t.has(kib.c_str()) || !t.has(mib.c_str()))
        return;
    const double kibTime = t.run(kib.c_str()).cpuNanoseconds, mibTime = t.run(mib.c_str()).cpuNanoseconds;
    t.row({std::string(label) + ", 16 B / 1 KiB / 1 MiB (`" + benchmark + "`)",
           duration(t.run(small.c_str()).cpuNanoseconds) + " / " + duration(kibTime) + " / " + duration(mibTime),
           formatted("%.0f", t.counter(mib.c_str(), allocations)) + " per " + label, "", ""},
          out);
    t.row({std::string("**") + label + " 1 MiB / 1 KiB**", formatted("**%.0f**", kibTime > 0 ? mibTime / kibTime : 0),
           "", "", "linear is 1024: within 25 % (768–1280)"},
          out);
}

void printComponents(const Table& t, std::FILE* out)
{
    if (!t.has("BM_ThousandComponents"))
        return;
    t.row({"1,000 components, one \"activedest\" each (`BM_ThousandComponents`)",
           duration(t.counter("BM_ThousandComponents", "s/component") * 1e9) + " per component", "", "", ""},
          out);
    t.row({"heap per idle component", "", formatted("%.0f B", t.counter("BM_ThousandComponents", "heap B/idle component")),
           "", formatted("the object itself: %.0f B", t.counter("BM_ThousandComponents", "sizeof(Selvarin)"))},
          out);
}

void printGuarding(const Table& t, std::FILE* out)
{
    const char* guarded = "BM_SoakRound/guarded:1";
    const char* unguarded = "BM_SoakRound/guarded:0";
    if (!t.has(guarded) || !t.has(unguarded))
        return;
    const double withGuard = t.counter(guarded, "events/s"), without = t.counter(unguarded, "events/s");
    t.row({"soak rounds, guarded host memory (`BM_SoakRound/guarded:1`)", formatted("%.0f events/s", withGuard), "",
           "", ""},
          out);
    t.row({"soak rounds, `--no-guard` (`BM_SoakRound/guarded:0`)", formatted("%.0f events/s", without), "", "", ""},
          out);
    t.row({"**cost of guarding: time per event, guarded / `--no-guard`**",
           formatted("**%.1f**", withGuard > 0 ? without / withGuard : 0), "", "", ""},
          out);
}

} // namespace

bool parseInstructionCounts(const std::string& text, InstructionCounts& out)
{
    InstructionCounts counts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const std::size_t equals = item.find('=');
        if (equals == std::string::npos || equals == 0)
            return false;
        const std::string value = item.substr(equals + 1);
        char* end = nullptr;
        const double count = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(count > 0))
            return false;
        counts[item.substr(0, equals)] = count;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    out = counts;
    return true;
}

void print(const RunsByName& runs, const InstructionCounts& instructions, std::FILE* out)
{
    const Table t(runs, instructions);
    std::fprintf(out, "\n| case | time (CPU) | heap allocations | instructions per event | goal |\n");
    std::fprintf(out, "|---|---|---|---|---|\n");
    printTakeRoad(t, out);
    printQuietMessage(t, out);
    printScaling(t, "parse", "BM_Parse", "allocs/parse", out);
    printScaling(t, "split", "BM_Split", "allocs/split", out);
    printComponents(t, out);
    printGuarding(t, out);
}

} // namespace bench_table
