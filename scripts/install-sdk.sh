#!/usr/bin/env bash
# Installs the component SDK into PREFIX: the native part from the release
# preset, the Windows modules from the windows preset and zorv-host.exe from
# windows-host. Builds only what the SDK holds.
#   scripts/install-sdk.sh PREFIX
set -euo pipefail
if [ $# -ne 1 ]; then
    echo "usage: scripts/install-sdk.sh PREFIX" >&2
    exit 2
fi
prefix=$(realpath -m "$1")
cd "$(dirname "$(realpath "$0")")/.."   # also when called through a linked folder
jobs=${ZORV_JOBS:-2}
for preset in release windows windows-host; do
    echo "== SDK: $preset"
    cmake --preset "$preset" >/dev/null
    case $preset in
        release) cmake --build --preset release -j"$jobs" --target zorv-host zorv_script_helper zorv_records zorv_string ;;
        windows) cmake --build --preset windows -j"$jobs" --target zorv_script_helper zorv_records zorv_string ;;
        windows-host) cmake --build --preset windows-host -j"$jobs" --target zorv-host ;;
    esac
    cmake --install "build/$preset" --component sdk --prefix "$prefix" >/dev/null
done
echo "== SDK installed in $prefix"
