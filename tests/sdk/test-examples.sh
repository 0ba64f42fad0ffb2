#!/usr/bin/env bash
# Builds each project under examples/ as a component author would, against
# the SDK installed in PREFIX: natively and with the SDK's Windows tool chain
# (tests under Wine), each configured, built and tested on its own. So does
# a project the installed `zorv-host new` writes. Checks that the Windows
# images carry the version record their CMakeLists gave, also through the
# installed `zorv-host image-check`.
# Prints PASS/FAIL per step (SKIP for the Wine tests where Wine cannot run)
# and ends with "N passed, M failed". The Windows tests share one 32-bit Wine
# prefix: ZORV_EXAMPLES_WINEPREFIX, or one made under BUILD_DIR.
#   tests/sdk/test-examples.sh PREFIX [BUILD_DIR]
set -uo pipefail
if [ $# -lt 1 ]; then
    echo "usage: tests/sdk/test-examples.sh PREFIX [BUILD_DIR]" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/sdk/sh_blocks.sh"
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
build_project() {   # build_project NAME SOURCE_DIR: native and Windows, each with its tests
    local ex=$1 dir=$2 target b args
    for target in native windows; do
        b=$out/$ex-$target
        args=(-S "$dir" -B "$b" -G Ninja -DCMAKE_PREFIX_PATH="$prefix")
        if [ $target = windows ]; then
            args+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DZORV_WINE_PREFIX="${ZORV_EXAMPLES_WINEPREFIX:-$out/wineprefix}")
        fi
        step "$ex.$target.configure" cmake "${args[@]}" || continue
        step "$ex.$target.build" cmake --build "$b" -j2
        if [ $target = windows ] && ! wine_runs; then
            echo "SKIP $ex.$target.tests (32-bit Wine cannot start here, and the SDK ships only the 32-bit part)"
            continue
        fi
        step "$ex.$target.tests" ctest --test-dir "$b" --output-on-failure
    done
}
for dir in "$root"/examples/*/; do
    build_project "$(basename "$dir")" "$dir"
done

# A new project from the installed zorv-host, with the installed templates
# (its README then names this SDK), built and tested as it comes.
host=$prefix/bin/zorv-host
generated=$out/generated/Dimmer
rm -rf "$out/generated"
step new.generate "$host" new Dimmer "$generated"
step new.installed_templates grep -qx "SDK=$prefix" "$generated/README.md"
refuses() {   # refuses TEXT COMMAND...: exit status 2 and TEXT on standard error
    local text=$1; shift
    local rc=0
    "$@" 2>"$out/logs/refusal.txt" || rc=$?
    cat "$out/logs/refusal.txt"
    [ "$rc" -eq 2 ] && grep -q "$text" "$out/logs/refusal.txt"
}
step new.refuses_existing_folder refuses "is not empty" "$host" new Dimmer "$generated"
step new.refuses_bad_name refuses "not a C++ identifier" "$host" new 9lives "$out/generated/nine"
build_project generated "$generated"
# Its README's commands, as written, in the project's folder.
# (They run in this shell and may set variables such as SDK; none of ours.)
cd "$generated" && run_sh_blocks README.md "$out/logs" generated.readme
cd "$root" || exit 1
# Its panel file opens in the installed workbench, both placements running.
on_workbench() {
    local log=$out/logs/generated.workbench.out
    "$prefix/bin/zorv-host" panel "$generated/Dimmer.zorv_panel" --port 0 --record-dir "$out/recordings" >"$log" 2>&1 &
    local pid=$! url="" state=""
    for _ in $(seq 100); do url=$(grep -o 'http://[0-9.:]*/[0-9a-f]*/' "$log" | head -1); [ -n "$url" ] && break; sleep 0.1; done
    for _ in $(seq 100); do
        state=$(curl -s "${url}api/state")
        [ "$(grep -o '"status":"running"' <<<"$state" | wc -l)" = 2 ] && break
        sleep 0.1
    done
    kill -INT $pid; wait $pid
    [ "$(grep -o '"status":"running"' <<<"$state" | wc -l)" = 2 ] || { echo "$state"; cat "$log"; return 1; }
}
step generated.workbench on_workbench
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
step generated.native.layout_beside test -f "$out/generated-native/Dimmer.zorv_ui"
# The image checks through the installed zorv-host and the script it finds
# in the SDK's share folder.
step sdk.image_check_installed test -f "$prefix/share/zorv/zorv_image_check.py"
image_check() {   # image_check BUILD CLASS SOURCE VERSION DESCRIPTION: every check passes, none skipped
    local b=$1 class=$2 source=$3
    "$host" image-check "$b/$class.dll" --expect-version "$4" --expect-description "$5" \
        --text-library "$prefix/lib/win32/zorv_string.dll" \
        --class "$class" --object "$b/CMakeFiles/$class.dir/$source.obj" > "$out/logs/image-check.txt"
    local rc=$?
    cat "$out/logs/image-check.txt"
    [ $rc -eq 0 ] && grep -q '^PASS vtable' "$out/logs/image-check.txt" && ! grep -q '^SKIP' "$out/logs/image-check.txt"
}
step blinker.windows.image_check image_check "$out/blinker-windows" Blinker blinker.cpp 1.0.0.1 \
    "A button that blinks once when pressed"
step selector.windows.image_check image_check "$out/selector-windows" Selector selector.cpp 1.0.0.1 \
    "A source selector button"
step generated.windows.image_check image_check "$out/generated-windows" Dimmer Dimmer.cpp 1.0.0.0 \
    "Dimmer script component"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
