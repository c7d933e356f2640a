#!/usr/bin/env bash
# Each folder of src/ may include only itself and the folders below it, in the order the data
# flows (bottom first). Prints every include that runs upward and fails if there is one.
set -euo pipefail
cd "$(dirname "$0")/../src"
layers=(common inproc notification host uielement pattern actions watch engine)
rank() { local i; for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && echo "$i" && return; done; echo -1; }
bad=0
for dir in */; do
  dir=${dir%/}
  own=$(rank "$dir")
  [ "$own" -ge 0 ] || { echo "src/$dir: not in the layer list of $0"; bad=1; continue; }
  while IFS=: read -r file _ target; do
    [ "$target" = installation_assistant ] && target=host  # the host's header
    to=$(rank "$target")
    [ "$to" -lt 0 ] && continue  # platform/, the host header
    if [ "$to" -gt "$own" ]; then echo "upward: src/$file includes $target/"; bad=1; fi
  done < <(grep -rnoE '#include "[a-z_]+/' "$dir" | sed -E 's/#include "([a-z_]+)\//\1/')
done
[ "$bad" -eq 0 ] && echo "layers: no include runs upward"
exit "$bad"
