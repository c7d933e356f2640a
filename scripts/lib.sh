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

# What the Linux build needs.
LINUX_PACKAGES=(build-essential cmake libgtest-dev libgmock-dev libcli11-dev libbenchmark-dev libboost1.81-dev
                libyaml-cpp-dev nlohmann-json3-dev)
# What the Windows builds and the tests under wine need.
WINDOWS_PACKAGES=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest binutils-mingw-w64-i686 libboost1.81-dev)
WINE_PACKAGES=(wine64 xvfb xauth)

configure_and_build() {  # build-dir cmake-args... -- targets...
  local dir="$1"; shift
  local args=() targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do args+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  targets=("$@")
  cmake -S "$REPO_ROOT" -B "$dir" "${args[@]}" >/dev/null
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" -j "$JOBS" --target "${targets[@]}"
  else
    cmake --build "$dir" -j "$JOBS"
  fi
}
