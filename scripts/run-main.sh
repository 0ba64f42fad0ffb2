#!/usr/bin/env bash
# The main job: builds the Selvarin component — the shipping 32-bit Windows
# DLL and the native test-bench module — and plays the automatic-take scenario
# in zorv-host, our panel-host simulator, printing the transcript: the DLL in
# zorv-host.exe under Wine, then the native module. Installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${BENCH_PACKAGES[@]}" "${BROWSER_PACKAGES[@]}"

build_windows_dist >/dev/null
export WINEPREFIX="$PWD/build/windows-host/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
echo "== dist/Selvarin.dll in dist/zorv-host.exe under Wine: tests/scenarios/automatic_take.scn"
wine dist/zorv-host.exe run dist/Selvarin.dll tests/scenarios/automatic_take.scn </dev/null
wineserver -k 2>/dev/null || true
echo

echo "== building the component and zorv-host (native)"
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
echo "== build/release/bin/Selvarin.so in zorv-host: tests/scenarios/automatic_take.scn"
build/release/bin/zorv-host run build/release/bin/Selvarin.so tests/scenarios/automatic_take.scn
