#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (their own project, not part of the normal build) and
# runs each for a while. Each target's corpus in build-fuzz/corpus/<name> is kept between runs and seeded from
# tests/fuzz/corpus/<name>, the inputs the normal build replays as tests; new finds stay in build-fuzz (merge the
# interesting ones into tests/fuzz/corpus with -merge=1). A crash, leak, hang or broken invariant fails the script
# and leaves the input in build-fuzz/.
#   scripts/fuzz.sh [SECONDS per target, default 60] [TARGET...]   (default: every target)
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
seconds="${1:-60}"
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(pattern scenario host_records matcher)
ensure_packages "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" "${LINUX_PACKAGES[@]}"
dir="$REPO_ROOT/build-fuzz"
log "building the fuzz targets in ${dir#$REPO_ROOT/}"
cmake -S "$REPO_ROOT/tests/fuzz" -B "$dir" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$dir" -j "$JOBS" --target "${targets[@]/%/_fuzz}"
cd "$dir"
for target in "${targets[@]}"; do
  options=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1)
  case "$target" in
    pattern) options+=(-dict="$REPO_ROOT/tests/fuzz/pattern.dict" -max_len=4096) ;;
    scenario) options+=(-max_len=8192) ;;
    # The target grows its texts to 1 MiB itself: small inputs keep the runs fast.
    host_records) options+=(-max_len=4096) ;;
    matcher) options+=(-dict="$REPO_ROOT/tests/fuzz/pattern.dict" -max_len=2048) ;;
  esac
  mkdir -p "$dir/corpus/$target"
  log "${target}_fuzz for $seconds s"
  ./"${target}_fuzz" "${options[@]}" "$dir/corpus/$target" "$REPO_ROOT/tests/fuzz/corpus/$target" 2>&1 | tail -n 12
done
