#!/usr/bin/env bash
# Runs the Windows test programs under wine64 unattended: a private prefix, no crash
# dialog, no window manager waits, a time-out on every run.
#   scripts/wine-tests.sh [--repeat N]   (builds with scripts/windows.sh first)
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
repeat=1
while [ $# -gt 0 ]; do
  case "$1" in
    --repeat) repeat="$2"; shift 2 ;;
    *) echo "usage: $0 [--repeat N]" >&2; exit 2 ;;
  esac
done
ensure_packages "${WINE_PACKAGES[@]}"
WINE=/usr/lib/wine/wine64
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
  timeout 60 /usr/lib/wine/wineserver -w || true
  touch "$WINEPREFIX/.iae-ready"
fi

/usr/lib/wine/wineserver -p
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT

status=0
WIN64_BUILD="${IAE_WIN64_BUILD:-$REPO_ROOT/build-win64}"
for exe in "$WIN64_BUILD/tests/platform/platform_conformance.exe"; do
  log "wine64 $(basename "$exe") (repeat $repeat)"
  if ! timeout 600 xvfb-run -a "$WINE" "$exe" --gtest_repeat="$repeat" --gtest_brief=1; then
    echo "wine-tests: $(basename "$exe") failed" >&2
    status=1
  fi
done
exit $status
