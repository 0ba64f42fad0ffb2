#!/usr/bin/env bash
# The workbench in headless Chromium: tests/workbench/test_browser.py against
# a native build (BUILD, default build/debug) and the shipped DLLs (DIST,
# default dist) for the Wine placement. Ends with "N passed, M failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/debug}" && pwd)
dist=${2:-$root/dist}
export WINEPREFIX="$root/build/windows-host/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
exec /usr/bin/python3 "$root/tests/workbench/test_browser.py" --zorv-host "$build/bin/zorv-host" \
    --bin "$build/bin" --dist "$dist" --work "$build/workbench-browser"
