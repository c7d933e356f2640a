#!/usr/bin/env bash
# Checks a built zviae.dll: a 32-bit DLL (or with x86_64, the 64-bit one that runs under wine64)
# whose exports are exactly the two undecorated factories and which imports system DLLs only
# (the C++ runtime is linked in).
#   scripts/check-dll.sh DLL [i686|x86_64]
set -euo pipefail
dll="$1"
fail() { echo "check-dll: $*" >&2; exit 1; }
case "${2:-i686}" in
  i686) objdump=i686-w64-mingw32-objdump; architecture='i386' ;;
  x86_64) objdump=x86_64-w64-mingw32-objdump; architecture='i386:x86-64' ;;
  *) fail "unknown architecture ${2}" ;;
esac
dump="$($objdump -p "$dll" 2>/dev/null)" || fail "$dll: not an $architecture image"
grep -q "^architecture: $architecture," <<<"$($objdump -f "$dll")" || fail "$dll: not an $architecture image"

exports="$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF;next} t&&NF==0{t=0}' <<<"$dump" | sort | tr '\n' ' ')"
[ "$exports" = "CreateEngine CreateEngine2 " ] || fail "exports are '$exports', want 'CreateEngine CreateEngine2'"

allowed='^(kernel32|user32|gdi32|ole32|oleaut32|oleacc|advapi32|msvcrt|uxtheme|shell32|comctl32)\.dll$'
while read -r name; do
  lower="$(tr 'A-Z' 'a-z' <<<"$name")"
  [[ "$lower" =~ $allowed ]] || fail "imports a non-system DLL: $name"
done < <(awk '/DLL Name:/{print $3}' <<<"$dump")
echo "check-dll: $(basename "$dll") exports [$exports] and imports only system DLLs: $(awk '/DLL Name:/{printf "%s ", $3}' <<<"$dump")"
