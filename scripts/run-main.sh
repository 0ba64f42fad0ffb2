#!/usr/bin/env bash
# The main job: builds everything — the shipping 32-bit Windows DLL
# (dist/Selvarin.dll), zorv-host.exe, and the native component and zorv-host
# — and opens the workbench on the demo panel: eight Selvarin destinations
# of one router, half of them the shipped DLL under Wine (where 32-bit Wine
# cannot start, its 64-bit test build under 64-bit Wine),
# with the parent panel's sources, the router's crosspoints and the log.
# The URL is printed; Ctrl-C ends it.
#
# When the output is not a terminal, or with --once, it plays the take road
# through the workbench's page by itself (press, source, timer expiry),
# prints the log and the crosspoint table, saves a screenshot
# (build/workbench-demo.png) and exits. --port N picks the port (default 8080).
# Installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
once=0
port=8080
while [ $# -gt 0 ]; do
    case $1 in
        --once) once=1 ;;
        --port) port=$2; shift ;;
        *) echo "usage: scripts/run-main.sh [--once] [--port N]" >&2; exit 2 ;;
    esac
    shift
done
[ -t 1 ] || once=1

source scripts/ensure-packages.sh
ensure_packages "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${BENCH_PACKAGES[@]}" "${BROWSER_PACKAGES[@]}"
echo "== building dist/: Selvarin.dll and zorv_string.dll (clang-cl), zorv-host.exe"
build_windows_dist >/dev/null
echo "== building the native component and zorv-host"
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
use_tree_wine_prefixes
if ! wine_runs; then
    if wine64_runs; then
        echo "== 32-bit Wine cannot start here: the Wine placements run the 64-bit test build under 64-bit Wine"
        build_windows64_tests >/dev/null
    else
        echo "== Wine does not start on this machine: the Wine placements run the native module"
    fi
fi

panel=panels/demo/demo.zorv_panel
host=build/release/bin/zorv-host
if [ $once = 0 ]; then
    echo "== the workbench on $panel"
    exec "$host" panel "$panel" --port "$port" --dist dist
fi

echo "== the workbench on $panel, driven through its page"
out=$(mktemp)
"$host" panel "$panel" --port 0 --dist dist --print-log >"$out" 2>&1 &
workbench=$!
trap 'kill -INT $workbench 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 100); do grep -q '^workbench: http' "$out" && break; sleep 0.1; done
head -1 "$out"
url=$(head -1 "$out" | awk '{print $2}')
status=0
/usr/bin/python3 tools/zorv-host/page/driver/take_road.py --url "$url" --screenshot build/workbench-demo.png || status=$?
kill -INT $workbench
wait $workbench || status=$?
trap - EXIT
tail -n +2 "$out"
rm -f "$out"
exit $status
