#!/usr/bin/env bash
# Runs every libFuzzer target for SECONDS each (default 15), two at a time,
# starting from the seed corpora in fuzz/corpus/ (which are not modified: the
# growing corpus lives in build/fuzz/corpus-work/). A crash leaves its input
# in build/fuzz/artifacts/ — keep it as a regression seed in fuzz/corpus/.
# Ends with "N passed, M failed".
#   scripts/fuzz.sh 600      # ten minutes per target
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
source scripts/ensure-packages.sh
ensure_packages "${NATIVE_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"
targets=(parse_message decode text_library component)
# Only the fuzzers: the rest of the tree is built and tested by the other presets.
cmake --preset fuzz >/dev/null && cmake --build --preset fuzz --target "${targets[@]/#/fuzz_}" || exit 1

mkdir -p build/fuzz/artifacts build/fuzz/logs
run_target() {
    local t=$1 work=build/fuzz/corpus-work/$1
    mkdir -p "$work"
    cp -n fuzz/corpus/"$t"/* "$work"/ 2>/dev/null
    build/fuzz/bin/fuzz_"$t" "$work" fuzz/corpus/"$t" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -artifact_prefix=build/fuzz/artifacts/"$t"- -print_final_stats=1 \
        >build/fuzz/logs/"$t".log 2>&1
}
passed=0
failed=0
for ((i = 0; i < ${#targets[@]}; i += 2)); do
    pids=()
    for t in "${targets[@]:i:2}"; do
        run_target "$t" &
        pids+=("$!:$t")
    done
    for entry in "${pids[@]}"; do
        if wait "${entry%%:*}"; then
            runs=$(grep -E '^stat::number_of_executed_units' build/fuzz/logs/"${entry#*:}".log | awk '{print $2}')
            echo "PASS fuzz_${entry#*:}: ${runs:-?} runs in ${seconds} s"
            passed=$((passed + 1))
        else
            echo "FAIL fuzz_${entry#*:}: see build/fuzz/logs/${entry#*:}.log"
            tail -30 build/fuzz/logs/"${entry#*:}".log
            failed=$((failed + 1))
        fi
    done
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
