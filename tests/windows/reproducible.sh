#!/bin/sh
# Builds the shipped DLLs and PDBs from scratch, with the windows preset, in
# two copies of the source tree that lie in differently named and differently
# deep folders, and compares them byte for byte with each other and with DIST.
#   reproducible.sh SOURCE_DIR WORK_DIR DIST_DIR
# The copies hold the working tree as git sees it (uncommitted edits and new
# files included, ignored ones such as build/ and dist/ left out): the same
# sources dist/ is built from, so a difference from dist/ is a real one (or a
# dist/ older than the sources).
set -e
src=$1; work=$2; dist=$3
files="Selvarin.dll Selvarin.pdb zorv_string.dll zorv_string.pdb"
rm -rf "$work"
first=$work/one
second=$work/second/deeper/tree

copy_tree() {
    mkdir -p "$1"
    if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        # Tracked files deleted in the working tree are listed but absent:
        # tar skips them (--ignore-failed-read).
        git -C "$src" ls-files -z --cached --others --exclude-standard |
            tar -C "$src" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$1" -xf -
    else
        tar -C "$src" --exclude=./build --exclude=./dist -cf - . | tar -C "$1" -xf -
    fi
}

configure() {
    copy_tree "$1"
    [ -f "$1/CMakePresets.json" ] || { echo "copying $src to $1 failed"; return 1; }
    (cd "$1" && cmake --preset windows) >"$1.configure.log" 2>&1 || { cat "$1.configure.log"; return 1; }
}
# Configure dominates and is mostly serial: both at once.
configure "$first" & one=$!
configure "$second" & two=$!
failed=
wait $one || failed=1
wait $two || failed=1
[ -z "$failed" ] || exit 1
for copy in "$first" "$second"; do
    cmake --build "$copy/build/windows" -j2 --target Selvarin zorv_string >/dev/null
done

status=0
for file in $files; do
    for other in "$second/build/windows/bin/$file" "$dist/$file"; do
        if cmp "$first/build/windows/bin/$file" "$other"; then
            echo "same: $file, $other"
        else
            status=1
            for copy in "$first" "$second"; do
                if grep -q -F "$copy" "$copy/build/windows/bin/$file"; then
                    echo "  $file names its source folder $copy"
                fi
            done
            case $other in "$dist"/*)
                echo "  (dist/ is built from other sources, or not reproducibly: rebuild it and run again)";;
            esac
        fi
    done
done
rm -rf "$work"
exit $status
