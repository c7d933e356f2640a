#!/usr/bin/env bash
# Builds and runs every Linux test (unit, end-to-end on simwin, platform conformance on simwin).
#   scripts/test.sh                    plain build in build/
#   scripts/test.sh --sanitize address AddressSanitizer + UndefinedBehaviorSanitizer in build-asan/
#   scripts/test.sh --sanitize thread  ThreadSanitizer in build-tsan/
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
sanitize=""
while [ $# -gt 0 ]; do
  case "$1" in
    --sanitize) sanitize="$2"; shift 2 ;;
    *) echo "usage: $0 [--sanitize address|thread]" >&2; exit 2 ;;
  esac
done
ensure_packages "${LINUX_PACKAGES[@]}"
case "$sanitize" in
  "") dir="$REPO_ROOT/build"; type=RelWithDebInfo ;;
  address) dir="$REPO_ROOT/build-asan"; type=Debug
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
    export LSAN_OPTIONS="suppressions=$REPO_ROOT/tests/lsan.supp"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" ;;
  thread) dir="$REPO_ROOT/build-tsan"; type=RelWithDebInfo
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" ;;
  *) echo "unknown sanitizer: $sanitize" >&2; exit 2 ;;
esac
log "building ${sanitize:-plain} tests in ${dir#$REPO_ROOT/}"
configure_and_build "$dir" -DCMAKE_BUILD_TYPE=$type -DIAE_SANITIZE="$sanitize"
log "running tests"
ctest --test-dir "$dir" -j "$JOBS" --output-on-failure --timeout 300
