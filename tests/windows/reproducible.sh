#!/bin/sh
# Builds the shipped DLLs from scratch in two folders, as the windows preset
# does, and compares them byte for byte with each other and with DIST.
#   reproducible.sh SOURCE_DIR WORK_DIR DIST_DIR
set -e
src=$1; work=$2; dist=$3
rm -rf "$work"
for folder in first second/deeper; do
    cmake -S "$src" -B "$work/$folder" -G Ninja --toolchain "$src/cmake/toolchain-win32-clang-cl.cmake" \
          -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$work/$folder" -j2 --target Selvarin zorv_string >/dev/null
done
status=0
for file in Selvarin.dll zorv_string.dll Selvarin.pdb; do
    for other in "$work/second/deeper/bin/$file" "$dist/$file"; do
        if cmp "$work/first/bin/$file" "$other"; then echo "same: $file, $other"; else status=1; fi
    done
done
rm -rf "$work"
exit $status
