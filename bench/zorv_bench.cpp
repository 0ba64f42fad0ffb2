// Figures for the framework and the destination component: time and heap
// allocations per event, the hand-formatted floor beside the take road, the
// cost of parse and split against text length, the cost of many idle
// components, and what guarding the host's memory costs the soak. Prints
// figures and, last, their table for docs/performance.md; asserts nothing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "bench_table.h"
#include "roads.h"
#include "Selvarin.h"
#include "session.h"
#include "sim_host.h"
#include "soak.h"
#include "zorv_script_helper.h"

namespace {

using roads::QuietHost;

const char* send(zorv_client_callback* c, const char* message)
{
    return c->callback(const_cast<char*>(message), zorv_code::parentMessage);
}

void reportPerEvent(benchmark::State& state, std::size_t allocations, int eventsPerIteration)
{
    double events = static_cast<double>(state.iterations()) * eventsPerIteration;
    state.counters["allocs/event"] = static_cast<double>(allocations) / events;
    // Seconds per event, printed with an SI prefix (n = nanoseconds).
    state.counters["s/event"] = benchmark::Counter(eventsPerIteration, benchmark::Counter::kIsIterationInvariantRate
                                                                       | benchmark::Counter::kInvert);
}

// The automatic-take road (roads.h): 3 events, 5 commands.
void BM_TakeRoad(benchmark::State& state)
{
    QuietHost host;
    zorv_client_callback* c = roads::makeSelvarin(host);
    roads::prepareTakeRoad(c);
    std::size_t before = alloc_counter::allocations();
    for (auto _ : state)
        roads::playTakeRoad(c);
    std::size_t allocations = alloc_counter::allocations() - before;
    if (std::strcmp(host.last, "ET 1") != 0)
        state.SkipWithError("the take road did not end with the timer stop");
    reportPerEvent(state, allocations, roads::takeRoadEvents);
    delete c;
}
BENCHMARK(BM_TakeRoad);

// The floor: the same five command lines formatted by hand (roads.h).
void BM_TakeRoadFloor(benchmark::State& state)
{
    QuietHost host;
    std::size_t before = alloc_counter::allocations();
    for (auto _ : state)
        roads::playFloor(host);
    reportPerEvent(state, alloc_counter::allocations() - before, roads::takeRoadEvents);
}
BENCHMARK(BM_TakeRoadFloor);

// A parent message that sends nothing and replies nothing.
void BM_QuietMessage(benchmark::State& state)
{
    QuietHost host;
    zorv_client_callback* c = roads::makeSelvarin(host);
    std::size_t commands = host.commands;
    std::size_t before = alloc_counter::allocations();
    for (auto _ : state)
        benchmark::DoNotOptimize(roads::playQuietMessage(c));
    reportPerEvent(state, alloc_counter::allocations() - before, roads::quietMessageEvents);
    if (host.commands != commands)
        state.SkipWithError("the quiet message sent a command");
    delete c;
}
BENCHMARK(BM_QuietMessage);

// A head as long as the text, then "=v": the scan runs to the end. (Dotted
// texts would stop early, after the 32nd part.)
std::string messageOfLength(std::size_t n) { return std::string(n - 2, 'h') + "=v"; }

void BM_Parse(benchmark::State& state)
{
    std::string text = messageOfLength(static_cast<std::size_t>(state.range(0)));
    std::size_t before = alloc_counter::allocations();
    for (auto _ : state) {
        ParsedMessage parsed(text.c_str());
        benchmark::DoNotOptimize(parsed.partCount);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["allocs/parse"] =
        static_cast<double>(alloc_counter::allocations() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Parse)->Arg(16)->Arg(1024)->Arg(1 << 20);

// Two quoted tokens with blanks inside, filling the text: the split looks at
// every byte without reaching its 32-token limit.
std::string wordsOfLength(std::size_t n)
{
    std::size_t half = n / 2;
    std::string first(half - 2, 'a'), second(n - half - 2, 'b');
    for (std::size_t i = 7; i < first.size(); i += 8)
        first[i] = ' ';
    for (std::size_t i = 7; i < second.size(); i += 8)
        second[i] = ' ';
    return "'" + first + "''" + second + "'";
}

void BM_Split(benchmark::State& state)
{
    std::string text = wordsOfLength(static_cast<std::size_t>(state.range(0)));
    std::size_t before = alloc_counter::allocations();
    for (auto _ : state) {
        decodeZORVString split(text.c_str(), '\'');
        benchmark::DoNotOptimize(split.tokenCount);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["allocs/split"] =
        static_cast<double>(alloc_counter::allocations() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Split)->Arg(16)->Arg(1024)->Arg(1 << 20);

// 1,000 components in one host, each receiving one "activedest".
void BM_ThousandComponents(benchmark::State& state)
{
    QuietHost host;
    std::vector<zorv_client_callback*> components;
    std::size_t liveBefore = alloc_counter::liveBytes();
    for (int i = 0; i < 1000; ++i)
        components.push_back(roads::makeSelvarin(host));
    std::size_t liveAfter = alloc_counter::liveBytes();
    for (auto _ : state)
        for (zorv_client_callback* c : components)
            send(c, "activedest=3");
    // Heap held by an idle component, the object itself included.
    state.counters["heap B/idle component"] = static_cast<double>(liveAfter - liveBefore) / 1000.0;
    state.counters["sizeof(Selvarin)"] = static_cast<double>(sizeof(Selvarin));
    state.counters["s/component"] = benchmark::Counter(1000, benchmark::Counter::kIsIterationInvariantRate
                                                                 | benchmark::Counter::kInvert);
    for (zorv_client_callback* c : components)
        delete c;
}
BENCHMARK(BM_ThousandComponents);

// The soak's ordinary rounds (zorv-host soak) through the simulated host,
// its memory guarded (guarded:1) or not (guarded:0, --no-guard).
void* makeSelvarinForHost(void* host, const char* basePath)
{
    return load_zorv_client_script(static_cast<zorv_client_callback*>(host), basePath);
}

void BM_SoakRound(benchmark::State& state)
{
    const bool wasGuarded = zorv_host::guarded::enabled();
    zorv_host::guarded::setEnabled(state.range(0) != 0);
    zorv_host::SimHost host;
    host.setCheckShapes(false);
    host.answerEveryQuery();
    zorv_host::Session session(makeSelvarinForHost, host);
    if (!session.create(std::string("C:/panels")))
        state.SkipWithError("the factory made no component");
    const zorv_host::Vocabulary ordinaryOnly;
    long events = 0, round = 0;
    for (auto _ : state) {
        events += zorv_host::playSoakRound(session, ordinaryOnly, round++);
        host.takeCommands();
        host.clearLog();
        if (!host.takeNotes().empty())
            state.SkipWithError("the host noted a rule break");
    }
    session.destroy();
    zorv_host::guarded::setEnabled(wasGuarded);
    state.counters["events/s"] = benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SoakRound)->ArgName("guarded")->Arg(1)->Arg(0);

// The console's report as usual, then the table of docs/performance.md.
class TableReporter : public benchmark::ConsoleReporter {
public:
    explicit TableReporter(bench_table::InstructionCounts instructions)
        : ConsoleReporter(OO_Tabular), instructions_(std::move(instructions))
    {
    }
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            bench_table::RunFigures& figures = runs_[run.benchmark_name()];
            figures.cpuNanoseconds = run.GetAdjustedCPUTime() * nanosecondsPer(run.time_unit);
            for (const auto& counter : run.counters)
                figures.counters[counter.first] = counter.second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        bench_table::print(runs_, instructions_, stdout);
    }

private:
    static double nanosecondsPer(benchmark::TimeUnit unit) { return 1e9 / benchmark::GetTimeUnitMultiplier(unit); }

    bench_table::InstructionCounts instructions_;
    bench_table::RunsByName runs_;
};

// Takes --instructions=take=N,floor=N,quiet=N (bench/instruction_counts.py's
// figures for the table) out of the arguments; false when its value is bad.
bool takeInstructionCounts(int& argc, char** argv, bench_table::InstructionCounts& counts)
{
    const std::string flag = "--instructions=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], flag.c_str(), flag.size()) != 0)
            continue;
        if (!bench_table::parseInstructionCounts(argv[i] + flag.size(), counts))
            return false;
        for (int j = i; j + 1 < argc; ++j)
            argv[j] = argv[j + 1];
        --argc;
        --i;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    bench_table::InstructionCounts instructions;
    if (!takeInstructionCounts(argc, argv, instructions)) {
        std::fprintf(stderr, "zorv_bench: --instructions takes ROAD=COUNT,... (take, floor, quiet)\n");
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    TableReporter reporter(instructions);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
