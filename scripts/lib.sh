# Shared helpers of the scripts in this folder (sourced, not run).
set -euo pipefail

REPO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-$(nproc 2>/dev/null || echo 2)}"

log() { printf '\n== %s\n' "$*" >&2; }

# Installs the Debian packages that are missing; a machine that has them all is left alone.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Every build: CMake with Ninja, through the compiler cache.
BUILD_PACKAGES=(cmake ninja-build ccache)
# What the Linux build needs.
LINUX_PACKAGES=("${BUILD_PACKAGES[@]}" build-essential libgtest-dev libgmock-dev libcli11-dev libbenchmark-dev
                libboost1.81-dev libyaml-cpp-dev nlohmann-json3-dev libcairo2-dev)
# What the Windows builds and the tests under wine need.
WINDOWS_PACKAGES=("${BUILD_PACKAGES[@]}" g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest
                  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 libboost1.81-dev)
WINE_PACKAGES=(wine64 xvfb xauth)
# The libFuzzer targets (scripts/fuzz.sh).
FUZZ_PACKAGES=(clang libclang-rt-14-dev)

# The compiler cache serves any clone: paths are hashed relative to the clone (the build adds the matching
# -fdebug-prefix-map, so the folder in the debug information is no reason to miss either). The precompiled
# headers need the sloppiness ccache documents for them; the headers' own contents are still hashed.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$REPO_ROOT}"
export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}"

configure_and_build() {  # build-dir cmake-args... -- targets...
  local dir="$1"; shift
  local args=() targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do args+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  targets=("$@")
  # A folder configured for another generator before: CMake refuses to switch it, so it starts anew.
  if [ -f "$dir/CMakeCache.txt" ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$dir/CMakeCache.txt"; then
    log "${dir#$REPO_ROOT/} was configured for another generator: configuring it anew"
    rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
  fi
  cmake -S "$REPO_ROOT" -B "$dir" -G Ninja -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
    "${args[@]}" >/dev/null
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" -j "$JOBS" --target "${targets[@]}"
  else
    cmake --build "$dir" -j "$JOBS"
  fi
}

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

# The one option of the wine scripts: how many times every run is repeated; sets `repeat`.
parse_repeat() {
  repeat=1
  while [ $# -gt 0 ]; do
    case "$1" in
      --repeat) repeat="$2"; shift 2 ;;
      *) echo "usage: $0 [--repeat N]" >&2; exit 2 ;;
    esac
  done
}

# Wine for unattended runs: a private prefix (made once, kept for later runs: no crash dialog, no window
# manager waits) and a wineserver kept up for the whole script, so that a program starts in a fraction of a
# second; it is stopped when the script ends.
make_wine_prefix() {
  export WINEDEBUG=-all
  export WINEPREFIX="${IAE_WINEPREFIX:-${TMPDIR:-/tmp}/iae-wineprefix}"
  if [ ! -f "$WINEPREFIX/.iae-ready" ]; then
    log "creating wine prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    timeout 300 "$WINE" wineboot -i >/dev/null 2>&1
    # Without a window manager every hide of a visible top-level window blocks ~2 s.
    timeout 60 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # A crash must end the program, not start a debugger that waits for a time-out.
    timeout 60 "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    timeout 60 "$WINESERVER" -w || true
    touch "$WINEPREFIX/.iae-ready"
  fi
}

start_wine() {
  make_wine_prefix
  "$WINESERVER" -p 2>/dev/null || true  # already up when another script of ours started it
  trap '"$WINESERVER" -k >/dev/null 2>&1 || true' EXIT
}
