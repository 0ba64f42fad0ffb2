#!/bin/sh
# zorv-host.exe names why a library will not load, one case per line of the
# table below: the subcommand, which zorv-host.exe runs it (here: the one
# built; beside: a copy in a folder of its own beside a zorv_string.dll), the
# file to load (set up in WORK), a text the message must hold, and one it
# must not.
#   load_errors.sh RUN ZORV_HOST_EXE DIST_DIR BIN_DIR WORK_DIR i386|x64
# RUN runs a Windows program under the tier's Wine; DIST_DIR holds the
# component and the text library, BIN_DIR the test builds of the text
# library; the last word is the machine this zorv-host.exe loads.
run=$1; host=$2; dist=$3; bin=$4; work=$5; machine=$6
rm -rf "$work"; mkdir -p "$work/alone" "$work/without_toInt" "$work/foreign" "$work/beside" "$work/cwd"
cp "$dist/Selvarin.dll" "$work/alone/"
cp "$dist/Selvarin.dll" "$bin/without_toInt/zorv_string.dll" "$work/without_toInt/"
cp "$host" "$dist/zorv_string.dll" "$work/beside/"
# An image of the other machine.
if [ "$machine" = x64 ]; then
    target=i686-pc-windows-msvc; foreign="a 32-bit (i386) image; this 64-bit test build of zorv-host.exe loads 64-bit (x64) DLLs only"
else
    target=x86_64-pc-windows-msvc; foreign="a 64-bit (x64) image; the panel host loads 32-bit (i386) DLLs only"
fi
printf 'int x;\n' > "$work/foreign/x.c"
(cd "$work/foreign" && clang-cl-16 --target=$target /nologo /c x.c >/dev/null &&
    lld-link-16 /dll /noentry /nodefaultlib /out:foreign.dll x.obj >/dev/null) || { echo "cannot build foreign.dll"; exit 1; }
printf 'not an image\n' > "$work/text.dll"
scenario=$(cd "$(dirname "$0")/../probe" && pwd)/two_factory_calls.scn
# Folders as zorv-host.exe names them (Wine's drive Z: is /).
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
alone=$(winpath "$work/alone"); beside=$(winpath "$work/beside")
# The current folder is searched too: an empty one.
cd "$work/cwd" || exit 1
status=0
while IFS='|' read -r command which file expected unwanted; do
    [ -n "$file" ] || continue
    exe=$host; [ "$which" = beside ] && exe=$work/beside/$(basename "$host")
    if [ "$command" = run ]; then
        out=$("$run" "$exe" run "$work/$file" "$scenario" 2>&1 </dev/null); rc=$?
    else
        out=$("$run" "$exe" validate "$work/$file" --only library.factory 2>&1 </dev/null); rc=$?
    fi
    if [ $rc -eq 3 ] && printf '%s\n' "$out" | grep -qF -- "$expected" &&
        { [ -z "$unwanted" ] || ! printf '%s\n' "$out" | grep -qF -- "$unwanted"; }; then
        printf "PASS %s %s (%s): %s\n" "$command" "$file" "$which" "$out"
    else
        printf "FAIL %s %s (%s, exit %s): %s\n  wanted: %s\n  and not: %s\n" "$command" "$file" "$which" "$rc" \
            "$out" "$expected" "$unwanted"
        status=1
    fi
done <<TABLE
run|here|alone/Selvarin.dll|zorv_string.dll not found (imported by Selvarin.dll); the load searched, in order: $alone;|
run|here|without_toInt/Selvarin.dll|zorv_string.dll does not export ?toInt@zorv_string@@|
run|here|foreign/foreign.dll|$foreign|
run|here|text.dll|not a Windows DLL (no MZ header)|
run|beside|alone/Selvarin.dll|zorv_string.dll not found (imported by Selvarin.dll); the load searched, in order: $alone;|entry point may have refused
validate|beside|alone/Selvarin.dll|zorv_string.dll not found (imported by Selvarin.dll); the load searched, in order: $alone;|$beside
TABLE
cd / && rm -rf "$work"
exit $status
