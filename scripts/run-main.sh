#!/usr/bin/env bash
# The main job: builds the Selvarin component and plays the automatic-take
# scenario in zorv-host, our panel-host simulator, printing the transcript.
# Installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages "${NATIVE_PACKAGES[@]}"

echo "== building the component and zorv-host (native)"
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
echo "== build/release/bin/Selvarin.so in zorv-host: tests/scenarios/automatic_take.scn"
build/release/bin/zorv-host run build/release/bin/Selvarin.so tests/scenarios/automatic_take.scn
