#!/usr/bin/env bash
# Non-blank, non-comment lines of C++ in tests/ against the rest of the code, and the share.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {  # paths...
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat | awk '
    { line = $0 }
    inComment { if (line ~ /\*\//) { inComment = 0; sub(/.*\*\//, "", line) } else next }
    { gsub(/^[ \t]+|[ \t]+$/, "", line) }
    line == "" || line ~ /^\/\// { next }
    line ~ /^\/\*/ { if (line !~ /\*\//) inComment = 1; next }
    { n++ }
    END { print n + 0 }'
}
tests=$(count tests)
code=$(count src platform tools include bench)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d lines, code %d lines, share %.2f\n", t, c, t / c }'
