# Sourced by the scripts: installs the Debian packages a step needs when they
# are missing. Usage: ensure_packages pkg [pkg...]   (i386 packages as name:i386)
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -q i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The native tool chain and test libraries.
NATIVE_PACKAGES=(cmake ninja-build g++ g++-multilib libgtest-dev libgmock-dev valgrind libcli11-dev nlohmann-json3-dev libedit-dev
                 pkg-config libcpp-httplib-dev gcovr)
# The workbench's page in a real browser (the browser tests, the main job's
# screenshot); Debian's own Python runs selenium.
BROWSER_PACKAGES=(chromium chromium-driver python3-selenium fonts-dejavu-core curl)
# libFuzzer and the sanitizer runtimes for clang.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
# Google Benchmark.
BENCH_PACKAGES=(libbenchmark-dev)
# The release's archives (scripts/release.sh): zip for the control room's,
# dpkg-shlibdeps for the SDK package's library dependencies.
RELEASE_PACKAGES=(zip unzip dpkg-dev)

# The shipping build (clang-cl, lld-link, LLVM tools), zorv-host.exe (MinGW),
# Wine to run them, and pefile for the image checks. LLVM 16: its CodeView
# can leave out the compiler command line, which names the source folder, so
# a clone in any folder builds the same PDB (clang 14 stays for the fuzzers).
# The 64-bit pieces build and run the tests of zorv-host's Windows side where
# 32-bit programs cannot run.
WINDOWS_PACKAGES=(clang-16 clang-tools-16 lld-16 llvm-16 g++-mingw-w64-i686 wine wine32:i386 python3-pefile
                  g++-mingw-w64-x86-64 wine64)

# Whether Wine runs here. Its loader is a 32-bit program, and some kernels
# are built without 32-bit support: there Wine is installed but cannot start.
wine_runs() {
    WINEDEBUG=-all wine --version >/dev/null 2>&1
}

# Whether this kernel runs 32-bit x86 programs at all (a probe built once).
runs_32_bit_programs() {
    local probe=build/probe-32-bit
    if [ ! -x "$probe" ]; then
        mkdir -p build
        printf 'int main(void) { return 0; }\n' | gcc -m32 -x c - -o "$probe" 2>/dev/null || return 1
    fi
    "$probe" 2>/dev/null
}

# Whether headless Chromium starts.
chromium_runs() {
    chromium --headless --no-sandbox --disable-gpu --version >/dev/null 2>&1
}

# Whether 64-bit Wine runs here (it needs no 32-bit support of the kernel).
wine64_runs() {
    WINEDEBUG=-all /usr/lib/wine/wine64 --version >/dev/null 2>&1
}

# Builds dist/: Selvarin.dll and zorv_string.dll (clang-cl), zorv-host.exe (MinGW).
build_windows_dist() {
    echo "== windows: Selvarin.dll, zorv_string.dll (clang-cl, Microsoft C++ ABI)"
    cmake --preset windows >/dev/null
    cmake --build --preset windows
    cmake --install build/windows >/dev/null
    echo "== windows: zorv-host.exe (MinGW)"
    cmake --preset windows-host >/dev/null
    cmake --build --preset windows-host
    cmake --install build/windows-host >/dev/null
}

# Builds the 64-bit test build of the components (clang-cl) and a 64-bit
# zorv-host.exe (MinGW), for the tests under 64-bit Wine, and lays them out
# in build/dist64/ as dist/ is (the workbench's {dist64}). Nothing of it
# ships: the panel host is a 32-bit program.
build_windows64_tests() {
    echo "== windows64: the components and zorv-host.exe for 64-bit Windows (tests only)"
    cmake --preset windows64 >/dev/null
    cmake --build --preset windows64
    cmake --install build/windows64 >/dev/null
    cmake --preset windows64-host >/dev/null
    cmake --build --preset windows64-host
    cmake --install build/windows64-host >/dev/null
}

# The Wine set-up of this tree's tests and scripts: one prefix for each
# bitness, each in its build folder. 32-bit Wine needs a 32-bit prefix; the
# workbench gives its 64-bit Wine children ZORV_WINE64_PREFIX. The prefixes
# are made before any build folder is configured, so these settings are
# spelled here as well as in cmake/ZorvPlatform.cmake (zorv_wine), which the
# tests use: keep the two alike.
use_tree_wine_prefixes() {
    export WINEPREFIX="$PWD/build/windows-host/wineprefix" WINEARCH=win32 WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= ZORV_WINE64_PREFIX="$PWD/build/windows64-host/wineprefix"
}

# Makes those prefixes where they are missing and their Wine runs, both at
# once, and returns when their wineservers are done. A new prefix takes
# Wine half a minute, most of it waiting, so a caller may run this beside
# a build.
make_tree_wine_prefixes() (
    use_tree_wine_prefixes
    if wine_runs && [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX" && wineboot --init && wineserver -w
    fi &
    if wine64_runs && [ ! -f "$ZORV_WINE64_PREFIX/system.reg" ]; then
        export WINEPREFIX=$ZORV_WINE64_PREFIX WINEARCH=win64
        mkdir -p "$WINEPREFIX" && /usr/lib/wine/wine64 wineboot --init && /usr/lib/wine/wineserver -w
    fi &
    wait
)
