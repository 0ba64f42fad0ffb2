#!/usr/bin/env bash
# The workbench in headless Chromium: tests/workbench/test_browser.py against
# a native build (BUILD, default build/debug), with its Wine placement on the
# shipped DLLs (DIST, default dist) under 32-bit Wine where that starts, else
# on their 64-bit test build (build/dist64) under 64-bit Wine; then a short
# run of the latency benchmark (its figures printed, no time asserted). Ends
# with "N passed, M failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/debug}" && pwd)
dist=${2:-$root/dist}
cd "$root" || exit 1
source scripts/ensure-packages.sh
use_tree_wine_prefixes
args=(--zorv-host "$build/bin/zorv-host" --bin "$build/bin" --dist "$dist" --dist64 "$root/build/dist64")
passed=0
failed=0
tally() {
    local last
    last=$(tail -1 "$1")
    if [[ "$last" =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
        passed=$((passed + BASH_REMATCH[1])); failed=$((failed + BASH_REMATCH[2]))
    else
        echo "FAIL $2: no summary"; failed=$((failed + 1))
    fi
}
log=$(mktemp)
/usr/bin/python3 "$root/tests/workbench/test_browser.py" "${args[@]}" --work "$build/workbench-browser" 2>&1 | tee "$log"
tally "$log" workbench.browser
/usr/bin/python3 "$root/bench/workbench_latency.py" "${args[@]}" --work "$build/workbench-latency" \
    --presses 8 --smoke 2>&1 | tee "$log"
tally "$log" workbench.latency_benchmark
rm -f "$log"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
