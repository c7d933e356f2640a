#!/usr/bin/env bash
# Checks a built zviae.dll: a 32-bit DLL whose exports are exactly the two undecorated
# factories and which imports system DLLs only (the C++ runtime is linked in).
set -euo pipefail
dll="$1"
dump="$(i686-w64-mingw32-objdump -p "$dll")"
fail() { echo "check-dll: $*" >&2; exit 1; }

grep -q '^architecture: i386' <<<"$(i686-w64-mingw32-objdump -f "$dll")" || fail "not a 32-bit x86 image"

exports="$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF;next} t&&NF==0{t=0}' <<<"$dump" | sort | tr '\n' ' ')"
[ "$exports" = "CreateEngine CreateEngine2 " ] || fail "exports are '$exports', want 'CreateEngine CreateEngine2'"

allowed='^(kernel32|user32|gdi32|ole32|oleaut32|oleacc|advapi32|msvcrt|uxtheme|shell32|comctl32)\.dll$'
while read -r name; do
  lower="$(tr 'A-Z' 'a-z' <<<"$name")"
  [[ "$lower" =~ $allowed ]] || fail "imports a non-system DLL: $name"
done < <(awk '/DLL Name:/{print $3}' <<<"$dump")
echo "check-dll: $(basename "$dll") exports [$exports] and imports only system DLLs: $(awk '/DLL Name:/{printf "%s ", $3}' <<<"$dump")"
