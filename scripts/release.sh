#!/usr/bin/env bash
# Makes the release's archives, named after the VERSION file, in DIR
# (default build/archives):
#   Selvarin-V-win32.zip             for the control room: the DLL and its
#                                    layout, the PDB, zorv-host.exe for
#                                    preflight, README.txt, SHA256SUMS
#   zorv-sdk-V-linux-x86_64.tar.gz   the SDK, to unpack anywhere
#   zorv-sdk_V_amd64.deb             the SDK as a Debian package
#   SHA256SUMS                       of the three
# It builds what they hold through the presets (windows and windows-host
# into dist/, the SDK's part of release), or with --reuse-builds takes dist/
# and the build folders as they are. Two runs give the same bytes: every
# entry is dated SOURCE_DATE_EPOCH (default: the last commit's time), owned
# by root, with modes 0755 or 0644, in name order.
#   scripts/release.sh [--reuse-builds] [--out DIR]
set -euo pipefail
cd "$(dirname "$(realpath "$0")")/.."
root=$PWD
source scripts/ensure-packages.sh

usage() { echo "usage: scripts/release.sh [--reuse-builds] [--out DIR]" >&2; exit 2; }
reuse=no
out=$root/build/archives
while [ $# -gt 0 ]; do
    case $1 in
        --reuse-builds) reuse=yes ;;
        --out) [ $# -ge 2 ] || usage; out=$(realpath -m "$2"); shift ;;
        *) usage ;;
    esac
    shift
done

fail() { echo "release.sh: $*" >&2; exit 1; }

# The version and the date every entry carries; refuses a release the
# changelog does not describe.
read_release() {
    version=$(head -n 1 VERSION | tr -d '[:space:]')
    [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "VERSION holds \"$version\", not a.b.c.d"
    grep -q "^## \[$version\]" CHANGELOG.md || fail "CHANGELOG.md has no entry \"## [$version]\""
    if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
        epoch=$SOURCE_DATE_EPOCH
        [[ $epoch =~ ^[0-9]+$ ]] || fail "SOURCE_DATE_EPOCH is \"$epoch\", not a count of seconds since 1970"
    else
        epoch=$(git log -1 --format=%ct 2>/dev/null) || fail "no SOURCE_DATE_EPOCH and no commit to date the archives by"
    fi
    export SOURCE_DATE_EPOCH=$epoch
}

# dist/ (the shipped DLL, its PDB and layout, zorv-host.exe) and the SDK
# installed into $1.
gather_builds() {
    if [ $reuse = no ]; then
        ensure_packages "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"
        build_windows_dist
    fi
    local file
    for file in Selvarin.dll Selvarin.pdb mymon.zorv_ui zorv-host.exe; do
        [ -f "dist/$file" ] || fail "dist/$file is missing (run without --reuse-builds)"
    done
    if [ $reuse = yes ]; then
        scripts/install-sdk.sh --reuse-builds "$1" >/dev/null
    else
        scripts/install-sdk.sh "$1"
    fi
}

# normalise DIR: owners are set when archiving; here every date and mode.
normalise() {
    find "$1" -type d -exec chmod 0755 {} +
    find "$1" -type f -perm /111 -exec chmod 0755 {} +
    find "$1" -type f ! -perm /111 -exec chmod 0644 {} +
    find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# The control room's zip: what to deploy, what to keep, the preflight tool.
make_zip() {
    local name=Selvarin-$version-win32 stage=$work/zip
    local top=$stage/$name
    mkdir -p "$top/component" "$top/symbols" "$top/tools"
    cp dist/Selvarin.dll dist/mymon.zorv_ui "$top/component/"
    cp dist/Selvarin.pdb "$top/symbols/"
    cp dist/zorv-host.exe "$top/tools/"
    # Windows line ends: the oldest Notepad shows nothing else as lines.
    sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' packaging/zip/README.txt.in > "$top/README.txt"
    (cd "$top" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum > SHA256SUMS)
    normalise "$stage"
    rm -f "$out/$name.zip"
    (cd "$stage" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D -9 -@ "$out/$name.zip")
}

# tar_gz DIR NAME OUTPUT: DIR/NAME as a reproducible .tar.gz.
tar_gz() {
    tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" --format=gnu \
        -C "$1" -cf - "$2" | gzip -9n > "$3"
}

make_sdk_tarball() {
    local name=zorv-sdk-$version
    mkdir -p "$work/tar"
    cp -a "$work/sdk" "$work/tar/$name"
    normalise "$work/tar"
    tar_gz "$work/tar" "$name" "$out/$name-linux-x86_64.tar.gz"
}

# The libraries zorv-host needs, as dependencies on their packages.
shared_library_depends() {
    local scratch=$work/shlibs
    mkdir -p "$scratch/debian"
    : > "$scratch/debian/control"
    (cd "$scratch" && dpkg-shlibdeps -O "$1") | sed -n 's/^shlibs:Depends=//p'
}

# Kibibytes as dpkg counts them: each file rounded up, one for anything else.
installed_size() {
    find "$1" -mindepth 1 \( -type f -printf '%s\n' \) -o \( ! -type f -printf '1024\n' \) |
        awk '{ k += int(($1 + 1023) / 1024) } END { print k }'
}

# The SDK under /usr/lib/zorv-sdk, linked from where the system looks:
# /usr/bin for zorv-host, /usr/lib/cmake for find_package(ZorvSDK).
make_sdk_deb() {
    local deb=$work/deb doc=$work/deb/usr/share/doc/zorv-sdk
    mkdir -p "$deb/DEBIAN" "$deb/usr/bin" "$deb/usr/lib/cmake" "$doc"
    cp -a "$work/sdk" "$deb/usr/lib/zorv-sdk"
    ln -s ../lib/zorv-sdk/bin/zorv-host "$deb/usr/bin/zorv-host"
    ln -s ../zorv-sdk/lib/cmake/ZorvSDK "$deb/usr/lib/cmake/ZorvSDK"
    cp "$work/sdk/share/zorv/doc/"* packaging/deb/copyright "$doc/"
    local shlibs size
    shlibs=$(shared_library_depends "$deb/usr/lib/zorv-sdk/bin/zorv-host")
    [ -n "$shlibs" ] || fail "dpkg-shlibdeps found no libraries for zorv-host"
    size=$(installed_size "$deb/usr")
    sed -e "s/@VERSION@/$version/" -e "s/@SHLIBS@/$shlibs/" -e "s/@INSTALLED_SIZE@/$size/" \
        packaging/deb/control.in > "$deb/DEBIAN/control"
    normalise "$deb"
    dpkg-deb --root-owner-group -Zgzip -z9 --build "$deb" \
        "$out/zorv-sdk_${version}_amd64.deb" >/dev/null
}

read_release
ensure_packages "${RELEASE_PACKAGES[@]}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gather_builds "$work/sdk"
mkdir -p "$out"
make_zip
make_sdk_tarball
make_sdk_deb
archives=("Selvarin-$version-win32.zip" "zorv-sdk-$version-linux-x86_64.tar.gz" "zorv-sdk_${version}_amd64.deb")
(cd "$out" && sha256sum "${archives[@]}" > SHA256SUMS)
echo "== release $version (entries dated $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC')), in $out:"
for archive in "${archives[@]}" SHA256SUMS; do
    printf '   %-42s %9s bytes\n' "$archive" "$(stat -c %s "$out/$archive")"
done
