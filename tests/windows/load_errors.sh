#!/bin/sh
# zorv-host.exe names why a library will not load, one case per line of the
# table below: the file to load (set up in WORK), and the message expected.
#   load_errors.sh ZORV_HOST_EXE DIST_DIR WINDOWS_BUILD_DIR WORK_DIR
host=$1; dist=$2; windows=$3; work=$4
rm -rf "$work"; mkdir -p "$work/alone" "$work/without_toInt" "$work/x64"
cp "$dist/Selvarin.dll" "$work/alone/"
cp "$dist/Selvarin.dll" "$windows/bin/without_toInt/zorv_string.dll" "$work/without_toInt/"
printf 'int x;\n' > "$work/x64/x.c"
(cd "$work/x64" && clang-cl-16 --target=x86_64-pc-windows-msvc /nologo /c x.c >/dev/null &&
    lld-link-16 /dll /noentry /nodefaultlib /out:x64.dll x.obj >/dev/null) || { echo "cannot build x64.dll"; exit 1; }
printf 'not an image\n' > "$work/text.dll"
scenario=$(dirname "$0")/../probe/two_factory_calls.scn
status=0
while IFS='|' read -r file expected; do
    [ -n "$file" ] || continue
    out=$(wine "$host" run "$work/$file" "$scenario" 2>&1 </dev/null); rc=$?
    if [ $rc -eq 3 ] && echo "$out" | grep -qF "$expected"; then
        printf "PASS %s: %s\n" "$file" "$out"
    else
        printf "FAIL %s (exit %s): %s\n  wanted: %s\n" "$file" "$rc" "$out" "$expected"; status=1
    fi
done <<'TABLE'
alone/Selvarin.dll|zorv_string.dll not found (imported by Selvarin.dll
without_toInt/Selvarin.dll|zorv_string.dll does not export ?toInt@zorv_string@@QBEHXZ (imported by Selvarin.dll)
x64/x64.dll|a 64-bit (x64) image; the panel host loads 32-bit (i386) DLLs only
text.dll|not a Windows DLL (no MZ header)
TABLE
rm -rf "$work"
exit $status
