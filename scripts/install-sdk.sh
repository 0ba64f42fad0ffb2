#!/usr/bin/env bash
# Installs the component SDK into PREFIX: the native part from the release
# preset, the Windows modules from the windows preset and zorv-host.exe from
# windows-host. Builds only what the SDK holds; with --reuse-builds it builds
# nothing and installs from those build folders as they are (the release
# script's test, after the test command has built them).
#   scripts/install-sdk.sh [--reuse-builds] PREFIX
set -euo pipefail
reuse=no
if [ "${1:-}" = --reuse-builds ]; then
    reuse=yes; shift
fi
if [ $# -ne 1 ]; then
    echo "usage: scripts/install-sdk.sh [--reuse-builds] PREFIX" >&2
    exit 2
fi
prefix=$(realpath -m "$1")
cd "$(dirname "$(realpath "$0")")/.."   # also when called through a linked folder
jobs=${ZORV_JOBS:-2}
for preset in release windows windows-host; do
    echo "== SDK: $preset"
    if [ $reuse = yes ]; then
        if [ ! -f "build/$preset/cmake_install.cmake" ]; then
            echo "install-sdk.sh: build/$preset is not built (run without --reuse-builds)" >&2
            exit 1
        fi
    else
        cmake --preset "$preset" >/dev/null
        case $preset in
            release) cmake --build --preset release -j"$jobs" --target zorv-host zorv_script_helper zorv_records zorv_string ;;
            windows) cmake --build --preset windows -j"$jobs" --target zorv_script_helper zorv_records zorv_string ;;
            windows-host) cmake --build --preset windows-host -j"$jobs" --target zorv-host ;;
        esac
    fi
    cmake --install "build/$preset" --component sdk --prefix "$prefix" >/dev/null
done
echo "== SDK installed in $prefix"
