#!/usr/bin/env bash
# Builds everything and runs every test: the native debug build (with
# valgrind memcheck), the same tests under AddressSanitizer +
# UndefinedBehaviorSanitizer and in the optimised build (with a smoke run of
# the benchmarks), the shipped 32-bit Windows modules under Wine with their
# image checks, the Windows side of zorv-host under 64-bit Wine, the SDK, the
# guide, the release's archives, the workbench in a browser, and each fuzzer for FUZZ_SECONDS
# (default 15). Installs what it needs.
#
# Never ends in silence: a stage or suite that fails shows its output (a
# failed build its log, a failed test its own output), every stage is run
# whatever came before, and the last line is "N passed, M failed, K skipped".
# What cannot run on this machine (the 32-bit images where the kernel runs no
# 32-bit programs) is skipped by name and counted.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" "${BENCH_PACKAGES[@]}" \
    "${BROWSER_PACKAGES[@]}" "${RELEASE_PACKAGES[@]}" || echo "== some packages could not be installed; the stages that need them will say so"

passed=0
failed=0
skipped=0
failures=()

yes_no() { if "$@"; then echo yes; else echo no; fi; }
echo "== this machine runs: 32-bit programs: $(yes_no runs_32_bit_programs)," \
     "32-bit Wine: $(yes_no wine_runs), 64-bit Wine: $(yes_no wine64_runs), Chromium: $(yes_no chromium_runs)"
if ! wine_runs; then
    echo "== 32-bit Wine cannot start here: the shipped 32-bit images' own runs and the SDK's Windows runs are" \
         "skipped by name; the Windows side of this tree runs under 64-bit Wine (the windows64 suite)"
fi

# fail_with TITLE LOG: counts one failure and shows what the log says.
fail_with() {
    echo "FAIL $1"
    sed 's/^/    /' "$2" | tail -150
    failed=$((failed + 1))
    failures+=("$1")
}

# build TITLE COMMAND...: runs a build step quietly; a failure shows its log.
build() {
    local title=$1 log; shift
    log=$(mktemp)
    if "$@" >"$log" 2>&1; then
        rm -f "$log"; return 0
    fi
    fail_with "$title" "$log"
    rm -f "$log"
    return 1
}

# Runs one CTest preset and adds its counts to the totals; skip_regex names
# the tests that cannot run here.
run_suite() {
    local preset=$1 skip_regex=${2:-} started=$SECONDS
    echo "== $preset: configure and build"
    case $preset in
        windows) build "$preset: build" build_windows_dist || return ;;
        windows64) build "$preset: build" build_windows64_tests || return ;;
        *) build "$preset: build" sh -c "cmake --preset $preset && cmake --build --preset $preset" || return ;;
    esac
    local filter=()
    if [ -n "$skip_regex" ]; then
        filter=(-E "$skip_regex")
        local names
        names=$(ctest --preset "$preset" -N -R "$skip_regex" | sed -nE 's/^ *Test +#[0-9]+: (.*)/\1/p')
        local count
        count=$(grep -c . <<<"$names")
        echo "== $preset: SKIPPED $count tests that need 32-bit Wine, which cannot start here:"
        sed 's/^/SKIP /' <<<"$names"
        skipped=$((skipped + count))
    fi
    echo "== $preset: tests"
    local log
    log=$(mktemp)
    ctest --preset "$preset" -j2 --output-on-failure "${filter[@]}" >"$log" 2>&1
    grep -E '^\s*[0-9]+/[0-9]+ Test|tests passed|\*\*\*' "$log" | grep -vE ' Passed +[0-9.]+ sec' || true
    local summary total bad not_run
    summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
    if [ -z "$summary" ]; then
        fail_with "$preset: no test summary" "$log"
        rm -f "$log"
        return
    fi
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$summary")
    # CTest counts a skipped test (exit 77) among the passed ones.
    not_run=$(grep -cE '^\s*[0-9]+ - .*\(Skipped\)$' "$log")
    if [ "$bad" -gt 0 ]; then
        # The failing tests' own output, which --output-on-failure put in the log.
        echo "== $preset: the failing tests' output"
        awk '/Test +#[0-9]+: .*\*\*\*|Test +#[0-9]+: .*Failed/{show=1} /Test +#[0-9]+: .* Passed/{show=0} show' "$log" |
            tail -300
        failures+=("$preset: $bad tests")
    fi
    echo "== $preset: $summary ($((SECONDS - started)) s, building included)"
    passed=$((passed + total - bad - not_run))
    failed=$((failed + bad))
    skipped=$((skipped + not_run))
    rm -f "$log"
}

# A stage prints PASS/FAIL/SKIP lines and ends with "N passed, M failed"
# (", K skipped" may follow). tally_stage shows a finished stage's lines and
# adds its counts; a stage that ends otherwise, or fails, shows its whole log.
tally_stage() {
    local title=$1 log=$2 status=${3:-0}
    echo "== $title"
    grep -E "^(PASS|FAIL|SKIP|  note|  [a-z].* median)" "$log" || true
    local summary stage_failed=0
    summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -1)
    if [[ "$summary" =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed ]]; then
        passed=$((passed + BASH_REMATCH[1]))
        stage_failed=${BASH_REMATCH[2]}
        failed=$((failed + stage_failed))
        skipped=$((skipped + $(grep -c '^SKIP' "$log")))
        if [ "$stage_failed" -gt 0 ] || [ "$status" -ne 0 ]; then
            echo "== $title: its whole output"
            sed 's/^/    /' "$log" | tail -300
            failures+=("$title")
            [ "$stage_failed" -eq 0 ] && failed=$((failed + 1))
        fi
    else
        fail_with "$title: ended without its summary (exit status $status)" "$log"
    fi
    rm -f "$log"
}
run_stage() {
    local title=$1 started=$SECONDS log status=0; shift
    log=$(mktemp)
    ("$@") >"$log" 2>&1 || status=$?
    tally_stage "$title ($((SECONDS - started)) s)" "$log" "$status"
}
# The examples' Windows tests use the tree's 32-bit prefix, made already.
sdk_stage() {
    scripts/install-sdk.sh build/sdk >/dev/null &&
        ZORV_EXAMPLES_WINEPREFIX="$PWD/build/windows-host/wineprefix" tests/sdk/test-examples.sh build/sdk
}

# The Wine prefixes of the Windows suites (and of the SDK's examples) are
# made beside the first builds: making one is mostly waiting.
make_tree_wine_prefixes >/dev/null 2>&1 </dev/null &
prefixes_pid=$!
run_suite debug
run_suite asan
run_suite release
wait "$prefixes_pid"
if wine_runs; then run_suite windows; else run_suite windows '^wine\.'; fi
if wine64_runs; then
    run_suite windows64
else
    fail_with "windows64: 64-bit Wine does not start here, so the Windows side of zorv-host is untested" /dev/null
fi

# The fuzzers build and run beside the SDK stages, which spend much of their
# time in single-threaded configure steps; their output is shown after.
fuzz_log=$(mktemp)
scripts/fuzz.sh "${FUZZ_SECONDS:-15}" >"$fuzz_log" 2>&1 &
fuzz_pid=$!
run_stage "sdk: installed, and examples/ built against it natively and for Windows" sdk_stage
run_stage "sdk: every sh block of docs/component-guide.md, as written" tests/sdk/test-guide.sh
run_stage "release: the archives twice from the builds above, their checksums, the zip's preflight, the SDK package in a scratch root" \
    tests/release/test-release.sh
fuzz_status=0
wait "$fuzz_pid" || fuzz_status=$?
tally_stage "fuzz: each target for ${FUZZ_SECONDS:-15} s" "$fuzz_log" "$fuzz_status"
run_stage "workbench: the page in headless Chromium, native placements and the Windows DLL under Wine" \
    tests/workbench/browser-tests.sh build/debug dist

echo "== all of it took $SECONDS s"
if [ ${#failures[@]} -gt 0 ]; then
    echo "== failed:"
    printf '   %s\n' "${failures[@]}"
fi
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
