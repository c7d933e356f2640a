#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (their own project, not part of the normal build) and
# runs each for a while, seeded with the example patterns, in a corpus kept in build-fuzz/corpus between runs.
# A crash, leak, hang or broken invariant fails the script and leaves the input in build-fuzz/.
#   scripts/fuzz.sh [SECONDS per target, default 60]
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
seconds="${1:-60}"
ensure_packages "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"
dir="$REPO_ROOT/build-fuzz"
log "building the fuzz targets in ${dir#$REPO_ROOT/}"
cmake -S "$REPO_ROOT/tests/fuzz" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$dir" -j "$JOBS"
mkdir -p "$dir/corpus/pattern"
log "pattern_fuzz for $seconds s"
cd "$dir"
./pattern_fuzz -dict="$REPO_ROOT/tests/fuzz/pattern.dict" -max_total_time="$seconds" -timeout=10 -max_len=4096 \
  -print_final_stats=1 "$dir/corpus/pattern" "$REPO_ROOT/examples/patterns" 2>&1 | tail -n 12
