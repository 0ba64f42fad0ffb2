// The table zorv_bench prints after its runs, in Markdown: the figures of
// docs/performance.md, every ratio taken within the one run, beside the
// instruction counts bench/instruction_counts.py measured with callgrind.
#ifndef ZORV_BENCH_TABLE_H
#define ZORV_BENCH_TABLE_H

#include <cstdio>
#include <map>
#include <string>

namespace bench_table {

// One benchmark's figures: CPU time per iteration and its counters, as
// Google Benchmark reports them (rates already divided).
struct RunFigures {
    double cpuNanoseconds = 0;
    std::map<std::string, double> counters;
};
using RunsByName = std::map<std::string, RunFigures>;   // by benchmark name, "BM_Parse/1024"

// Instructions per event by road ("take", "floor", "quiet").
using InstructionCounts = std::map<std::string, double>;

// Reads "take=1230.5,floor=1884,quiet=760" (any of the roads, any order);
// false, with out untouched, for anything else.
bool parseInstructionCounts(const std::string& text, InstructionCounts& out);

// Prints the table of the runs there are to out; a row whose benchmarks did
// not run is left out, a road without a count says so.
void print(const RunsByName& runs, const InstructionCounts& instructions, std::FILE* out);

} // namespace bench_table

#endif
