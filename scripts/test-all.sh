#!/usr/bin/env bash
# Builds everything and runs every test: the native debug build (with
# valgrind memcheck), the same tests under AddressSanitizer +
# UndefinedBehaviorSanitizer and in the optimised build (with a smoke run of
# the benchmarks), the shipped Windows modules under Wine with
# their image checks, and each fuzzer for FUZZ_SECONDS (default 15).
# Installs what it needs. Ends with "N passed, M failed".
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

passed=0
failed=0
# Runs one CTest preset and adds its counts to the totals.
run_suite() {
    local preset=$1
    if [ "$preset" = windows ]; then
        build_windows_dist
    else
        echo "== $preset: configure and build"
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset"
    fi
    echo "== $preset: tests"
    local log
    log=$(mktemp)
    set +e
    ctest --preset "$preset" -j2 2>&1 | tee "$log" | grep -E '^\s*[0-9]+/[0-9]+ Test|tests passed|Failed|\*\*\*' | grep -v ' Passed ' || true
    set -e
    local summary total bad
    summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
    if [ -z "$summary" ]; then
        echo "== $preset: no test summary"; cat "$log"; failed=$((failed + 1)); rm -f "$log"; return
    fi
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$summary")
    echo "== $preset: $summary"
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    rm -f "$log"
}

run_suite debug
run_suite asan
run_suite release
run_suite windows

# Adds the counts of a script's closing "N passed, M failed" line (in the
# log) to the totals; a log without one counts as a failure and is shown.
add_script_counts() {
    local summary
    summary=$(tail -1 "$1")
    if [[ "$summary" =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
        passed=$((passed + BASH_REMATCH[1]))
        failed=$((failed + BASH_REMATCH[2]))
    else
        cat "$1"
        failed=$((failed + 1))
    fi
}

echo "== sdk: installed, and examples/ built against it natively and for Windows"
sdk_log=$(mktemp)
{ scripts/install-sdk.sh build/sdk >/dev/null && tests/sdk/test-examples.sh build/sdk; } 2>&1 | tee "$sdk_log" | grep -E '^(PASS|FAIL)' || true
add_script_counts "$sdk_log"
echo "== sdk: every sh block of docs/component-guide.md, as written"
tests/sdk/test-guide.sh 2>&1 | tee "$sdk_log" | grep -E '^(PASS|FAIL)' || true
add_script_counts "$sdk_log"
rm -f "$sdk_log"

echo "== fuzz: each target for ${FUZZ_SECONDS:-15} s"
fuzz_log=$(mktemp)
scripts/fuzz.sh "${FUZZ_SECONDS:-15}" | tee "$fuzz_log" | grep -E '^(PASS|FAIL)' || true
fuzz_summary=$(tail -1 "$fuzz_log")
if [[ "$fuzz_summary" =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
else
    cat "$fuzz_log"
    failed=$((failed + 1))
fi
rm -f "$fuzz_log"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
