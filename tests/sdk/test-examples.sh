#!/usr/bin/env bash
# Builds each project under examples/ as a component author would, against
# the SDK installed in PREFIX: natively and with the SDK's Windows tool chain
# (tests under Wine), each configured, built and tested on its own. Checks
# that the Windows image carries the version record its CMakeLists gave.
# Prints PASS/FAIL per step and ends with "N passed, M failed".
#   tests/sdk/test-examples.sh PREFIX [BUILD_DIR]
set -uo pipefail
if [ $# -lt 1 ]; then
    echo "usage: tests/sdk/test-examples.sh PREFIX [BUILD_DIR]" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$(realpath -m "$1")
out=$(realpath -m "${2:-$root/build/sdk-examples}")
toolchain=$prefix/lib/cmake/ZorvSDK/toolchain-win32-clang-cl.cmake
passed=0
failed=0
step() {   # step NAME COMMAND...: runs it, output kept in a log shown on failure
    local name=$1; shift
    local log=$out/logs/$name.log
    mkdir -p "$out/logs"
    if "$@" >"$log" 2>&1; then
        echo "PASS $name"; passed=$((passed + 1))
    else
        echo "FAIL $name"; sed 's/^/    /' "$log" | tail -40; failed=$((failed + 1))
    fi
}
for dir in "$root"/examples/*/; do
    ex=$(basename "$dir")
    for target in native windows; do
        b=$out/$ex-$target
        args=(-S "$dir" -B "$b" -G Ninja -DCMAKE_PREFIX_PATH="$prefix")
        if [ $target = windows ]; then
            args+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DZORV_WINE_PREFIX="$out/wineprefix")
        fi
        step "$ex.$target.configure" cmake "${args[@]}" || continue
        step "$ex.$target.build" cmake --build "$b" -j2
        step "$ex.$target.tests" ctest --test-dir "$b" --output-on-failure
    done
done
# The generated version record, read back from a DLL built outside our tree.
expect_version() {
    /usr/bin/python3 "$root/tests/sdk/pe_fields.py" "$1" > "$out/logs/fields.txt" || return 1
    grep -qx "string FileDescription=$2" "$out/logs/fields.txt" &&
    grep -qx "string FileVersion=1, 0, 0, 1" "$out/logs/fields.txt" &&
    grep -qx "strings 080904b0" "$out/logs/fields.txt" &&
    grep -q '^manifest .*level="asInvoker" uiAccess="false"' "$out/logs/fields.txt" &&
    [ "$(grep -c '^export ' "$out/logs/fields.txt")" = 1 ]
}
step selector.windows.version_record expect_version "$out/selector-windows/Selector.dll" "A source selector button"
step selector.native.layout_beside test -f "$out/selector-native/selector.zorv_ui"
# find_package checks the SDK's own version: 1.0 is met, 2.0 is refused.
wants_version() {
    local d=$out/version-$1
    mkdir -p "$d"
    printf 'cmake_minimum_required(VERSION 3.25)\nproject(v NONE)\nfind_package(ZorvSDK %s REQUIRED)\n' "$1" > "$d/CMakeLists.txt"
    cmake -S "$d" -B "$d/build" -DCMAKE_PREFIX_PATH="$prefix"
}
step sdk.version_met wants_version 1.0
refuses_version() { ! wants_version "$1"; }
step sdk.version_refused refuses_version 2.0
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
