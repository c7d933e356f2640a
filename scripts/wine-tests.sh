#!/usr/bin/env bash
# Runs the Windows test programs under wine64 unattended: a private prefix, no crash
# dialog, no window manager waits, a time-out on every run. Then the end-to-end runs of
# the engine (scripts/wine-e2e.sh).
#   scripts/wine-tests.sh [--repeat N]   (builds with scripts/windows.sh first)
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
parse_repeat "$@"
ensure_packages "${WINE_PACKAGES[@]}"
start_wine

status=0
WIN64_BUILD="${IAE_WIN64_BUILD:-$REPO_ROOT/build-win64}"
for exe in "$WIN64_BUILD/tests/platform/platform_conformance.exe"; do
  log "wine64 $(basename "$exe") (repeat $repeat)"
  if ! timeout 600 xvfb-run -a "$WINE" "$exe" --gtest_repeat="$repeat" --gtest_brief=1; then
    echo "wine-tests: $(basename "$exe") failed" >&2
    status=1
  fi
done
"$REPO_ROOT/scripts/wine-e2e.sh" --repeat "$repeat" || status=1
exit $status
