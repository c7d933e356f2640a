#!/usr/bin/env bash
# Cross builds with mingw-w64 against the real Windows headers:
#   the 32-bit product zviae.dll (exports and imports checked), and
#   the 64-bit platform conformance tests that scripts/wine-tests.sh runs under wine64.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
ensure_packages "${WINDOWS_PACKAGES[@]}"

log "zviae.dll (i686)"
configure_and_build "$REPO_ROOT/build-i686" \
  -DCMAKE_TOOLCHAIN_FILE="$REPO_ROOT/cmake/toolchain-mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release -- zviae
"$REPO_ROOT/scripts/check-dll.sh" "$REPO_ROOT/build-i686/src/zviae.dll"

log "platform conformance tests (x86_64, for wine64)"
configure_and_build "$REPO_ROOT/build-win64" \
  -DCMAKE_TOOLCHAIN_FILE="$REPO_ROOT/cmake/toolchain-mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DIAE_WINDOWS_TESTS=ON -- platform_conformance
