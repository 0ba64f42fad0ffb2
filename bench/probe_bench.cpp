// What the text-library probe costs: the probe alone (once per process in a
// component), and the factory with and without it. Prints figures only.
#include <benchmark/benchmark.h>

#include "zorv_plugin_entry.h"
#include "zorv_string_probe.h"

namespace {

void destroy(zorv_client_callback* component) { delete component; }

void BM_Probe(benchmark::State& state)
{
    for (auto _ : state) {
        zorv_probe_result result = zorv_probe_text_library();
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_Probe);

// Every call after the first: the probe's verdict is already known.
void BM_Factory(benchmark::State& state)
{
    destroy(load_zorv_client_script(nullptr, "/panels"));
    for (auto _ : state)
        destroy(load_zorv_client_script(nullptr, "/panels"));
}
BENCHMARK(BM_Factory);

// What the first factory call of a process costs: the probe and one component.
void BM_ProbeThenFactory(benchmark::State& state)
{
    for (auto _ : state) {
        zorv_probe_result result = zorv_probe_text_library();
        benchmark::DoNotOptimize(result);
        destroy(load_zorv_client_script(nullptr, "/panels"));
    }
}
BENCHMARK(BM_ProbeThenFactory);

} // namespace

BENCHMARK_MAIN();
