#!/usr/bin/env bash
# Regenerates the benchmark table of docs/performance.md: builds the release
# preset, counts the roads' instructions with callgrind, runs zorv_bench
# with those counts and writes its table with the command, the date, the
# machine and the build. The test bench.instruction_counts (release preset)
# holds the document to these counts. Installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${NATIVE_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
cmake --preset release >/dev/null
cmake --build --preset release --target zorv_bench zorv_road_count >/dev/null
exec /usr/bin/python3 bench/performance_table.py update --road-count build/release/bin/zorv_road_count \
    --bench build/release/bin/zorv_bench --doc docs/performance.md --command scripts/update-performance-table.sh
