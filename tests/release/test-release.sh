#!/usr/bin/env bash
# The release as its takers get it, made from the builds the test command
# already has (dist/, build/release, build/windows-host; nothing is built):
# the archives twice, byte for byte the same; their checksums; the zip's
# contents, its README against the words the component itself declares, and
# preflight of its DLL as the README says to run it (under 32-bit Wine; where
# that cannot start, the same layout with the 64-bit test build under 64-bit
# Wine); the Debian package unpacked into a scratch root, with an example
# built and tested against it there; and the tarball holding the same SDK.
# Prints PASS/FAIL/SKIP per step and ends with "N passed, M failed".
#   tests/release/test-release.sh [WORK_DIR]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root" || exit 1
source scripts/ensure-packages.sh
work=$(realpath -m "${1:-build/release-test}")
rm -rf "$work"
mkdir -p "$work/logs"
version=$(head -n 1 VERSION | tr -d '[:space:]')
zip_name=Selvarin-$version-win32
tar_name=zorv-sdk-$version-linux-x86_64.tar.gz
deb_name=zorv-sdk_${version}_amd64.deb
passed=0
failed=0
step() {   # step NAME COMMAND...: runs it, output kept in a log shown on failure
    local name=$1; shift
    if "$@" >"$work/logs/$name.log" 2>&1; then
        echo "PASS $name"; passed=$((passed + 1))
    else
        echo "FAIL $name"; sed 's/^/    /' "$work/logs/$name.log" | tail -40; failed=$((failed + 1))
    fi
}

# The archives twice at once, in $work/first and in $work/second; the
# second under another umask and time zone. Both give the same bytes.
make_twice() {
    scripts/release.sh --reuse-builds --out "$work/first" &
    local first=$! second=0
    (umask 077 && TZ=Pacific/Auckland scripts/release.sh --reuse-builds --out "$work/second") || second=1
    wait "$first" && [ $second -eq 0 ] &&
        test -f "$work/first/$zip_name.zip" -a -f "$work/first/$tar_name" -a -f "$work/first/$deb_name"
}
same_bytes() {
    local archive same=0
    for archive in "$zip_name.zip" "$tar_name" "$deb_name" SHA256SUMS; do
        cmp "$work/first/$archive" "$work/second/$archive" || same=1
    done
    return $same
}
step release.archives make_twice
step release.reproducible same_bytes
step release.checksums sh -c "cd '$work/first' && sha256sum -c SHA256SUMS"

# --- The control room's zip.
unzip -q "$work/first/$zip_name.zip" -d "$work/zip" 2>"$work/logs/unzip.log"
top=$work/zip/$zip_name
zip_contents() {   # exactly these files; our stand-in text library is not one
    local want got
    want=$(printf '%s\n' README.txt SHA256SUMS component/Selvarin.dll component/mymon.zorv_ui \
        symbols/Selvarin.pdb tools/zorv-host.exe | LC_ALL=C sort)
    got=$(cd "$top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
    diff <(echo "$want") <(echo "$got")
}
step release.zip.contents zip_contents
# Every other file of the zip, each once.
step release.zip.checksums sh -c "cd '$top' && sha256sum -c SHA256SUMS &&
    [ \"\$(sed 's/^[0-9a-f]*  //' SHA256SUMS | sort)\" = \"\$(find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort)\" ]"
step release.zip.the_shipped_build sh -c "cmp '$top/component/Selvarin.dll' dist/Selvarin.dll &&
    cmp '$top/symbols/Selvarin.pdb' dist/Selvarin.pdb && cmp '$top/tools/zorv-host.exe' dist/zorv-host.exe"
step release.zip.version_record /usr/bin/python3 tools/image-check/zorv_image_check.py \
    "$top/component/Selvarin.dll" --only version --expect-version "$version"

# Every notification and parent message the component declares ("_events",
# "_commands", asked of the native build) is described in the README, and
# the README says which version it is.
declared_words() {
    printf 'create\nparent _events\nparent _commands\ndestroy\n' > "$work/words.scn"
    build/release/bin/zorv-host run build/release/bin/Selvarin.so "$work/words.scn" |
        sed -n 's/^< "\(.*\)"$/\1/p' | sed 's/\\n/\n/g' | sed 's/=.*/=/'
}
readme_describes() {
    local words word missing=0
    words=$(declared_words)
    [ "$(grep -c . <<<"$words")" -ge 4 ] || { echo "too few declared words: $words"; return 1; }
    for word in $words; do
        grep -q "^  $word" "$top/README.txt" || { echo "README.txt does not describe $word"; missing=1; }
    done
    grep -q "Selvarin $version for the control room" "$top/README.txt" || { echo "no version in README.txt"; missing=1; }
    [ "$(grep -vc $'\r$' "$top/README.txt")" = 0 ] || { echo "README.txt has lines without CR LF"; missing=1; }
    return $missing
}
step release.zip.readme readme_describes

# preflight_layout FOLDER TEXT_LIBRARY RUN...: the README's command, in the
# unpacked folder, with a host folder that holds the host's text library
# (our stand-in plays the host's here).
preflight_layout() {
    local folder=$1 text_library=$2; shift 2
    mkdir -p "$folder.host" && cp "$text_library" "$folder.host/"
    local report
    report=$(cd "$folder" && "$@" tools/zorv-host.exe preflight component/Selvarin.dll \
        --host-folder "$folder.host" 2>&1 </dev/null)
    local status=$?
    echo "$report"
    [ $status -eq 0 ] && grep -q '^ready to deploy' <<<"$report"
}
use_tree_wine_prefixes
if wine_runs; then
    step release.zip.preflight preflight_layout "$top" dist/zorv_string.dll wine
else
    echo "SKIP release.zip.preflight (32-bit Wine cannot start here, and the zip's DLL and zorv-host.exe are 32-bit)"
    # The same layout and command with the 64-bit test build of the same
    # sources in the images' places.
    if wine64_runs && [ -f build/dist64/Selvarin.dll ] && [ -f build/dist64/zorv-host.exe ]; then
        cp -r "$top" "$work/zip64"
        cp build/dist64/Selvarin.dll "$work/zip64/component/"
        cp build/dist64/zorv-host.exe "$work/zip64/tools/"
        WINEPREFIX=$ZORV_WINE64_PREFIX WINEARCH=win64 \
            step release.zip64.preflight preflight_layout "$work/zip64" build/dist64/zorv_string.dll /usr/lib/wine/wine64
    else
        echo "SKIP release.zip64.preflight (no 64-bit Wine or no build/dist64 here)"
    fi
fi

# --- The SDK's Debian package, unpacked into a scratch root.
scratch=$work/root
step release.deb.installable apt-get install --simulate --no-install-recommends "$work/first/$deb_name"
dpkg-deb -x "$work/first/$deb_name" "$scratch"
on_path() {
    local found
    found=$(PATH=$scratch/usr/bin:$PATH command -v zorv-host)
    [ "$found" = "$scratch/usr/bin/zorv-host" ] || { echo "found $found"; return 1; }
    [ "$("$found" --version)" = "zorv-host $version" ]
}
step release.deb.zorv_host_on_path on_path
step release.deb.guide test -f "$scratch/usr/share/doc/zorv-sdk/component-guide.md" \
    -a -f "$scratch/usr/share/doc/zorv-sdk/copyright" -a -f "$scratch/usr/share/doc/zorv-sdk/CHANGELOG.md"

# An example against the scratch root, with no CMAKE_PREFIX_PATH: installed,
# find_package(ZorvSDK) finds /usr/lib/cmake/ZorvSDK under the system prefix
# /usr. CMAKE_FIND_ROOT_PATH puts the scratch root in front of every search
# path, so that same search finds $scratch/usr/lib/cmake/ZorvSDK (packages
# only there: one installed on this machine is not taken); the package's
# configuration follows its link to $scratch/usr/lib/zorv-sdk.
example=$work/selector
configure_example() {
    cmake -S examples/selector -B "$example" -G Ninja -DCMAKE_FIND_ROOT_PATH="$scratch" \
        -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY || return 1
    grep -qx "ZorvSDK_DIR:PATH=$scratch/usr/lib/cmake/ZorvSDK" "$example/CMakeCache.txt"
}
step release.deb.example.configure configure_example
step release.deb.example.build cmake --build "$example" -j2
step release.deb.example.tests ctest --test-dir "$example" --output-on-failure

# The tarball holds the very SDK the package installs.
same_sdk() {
    mkdir -p "$work/tar" && tar -xzf "$work/first/$tar_name" -C "$work/tar" &&
        diff -r --no-dereference "$work/tar/zorv-sdk-$version" "$scratch/usr/lib/zorv-sdk"
}
step release.tarball.same_sdk same_sdk

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
