#!/usr/bin/env bash
# Cross builds with mingw-w64 against the real Windows headers:
#   i686: the product zviae.dll (exports and imports checked), and the reference host and the sample installer
#         (built only: 32-bit programs cannot run on these machines);
#   x86_64, for wine64: the platform conformance tests, and zviae.dll with iae-host.exe, setup-sample.exe and
#         the test of its accessible objects for the end-to-end runs; scripts/wine-tests.sh runs them all.
# IAE_I686_BUILD and IAE_WIN64_BUILD choose other build folders.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
ensure_packages "${WINDOWS_PACKAGES[@]}"
I686_BUILD="${IAE_I686_BUILD:-$REPO_ROOT/build-i686}"
WIN64_BUILD="${IAE_WIN64_BUILD:-$REPO_ROOT/build-win64}"

log "i686: zviae.dll, iae-host.exe, iae-dump.exe, setup-sample.exe"
configure_and_build "$I686_BUILD" \
  -DCMAKE_TOOLCHAIN_FILE="$REPO_ROOT/cmake/toolchain-mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release -- \
  zviae iae-host iae-dump setup-sample
"$REPO_ROOT/scripts/check-dll.sh" "$I686_BUILD/src/zviae.dll"

log "x86_64, for wine64: conformance tests, zviae.dll, iae-host.exe, iae-dump.exe, setup-sample.exe and its test"
configure_and_build "$WIN64_BUILD" \
  -DCMAKE_TOOLCHAIN_FILE="$REPO_ROOT/cmake/toolchain-mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DIAE_WINDOWS_TESTS=ON -- platform_conformance zviae iae-host iae-dump setup-sample setup_sample_test
"$REPO_ROOT/scripts/check-dll.sh" "$WIN64_BUILD/bin/zviae.dll" x86_64
