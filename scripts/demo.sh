#!/usr/bin/env bash
# The main job: the engine on simwin against a simulated setup wizard (examples/scenarios/wizard.yaml),
# telling what the user, the installer, the host and the engine did, and whether it ended as expected.
# Arguments go to `iae sim run` (--json, --trace FILE, --snapshots DIR, --quiet); a .yaml argument replaces the
# scenario. Paths are taken from the folder the script is run in.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
ensure_packages "${LINUX_PACKAGES[@]}"
log "building (build/)"
configure_and_build "$REPO_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -- iae
scenario="$REPO_ROOT/examples/scenarios/wizard.yaml"
args=()
previous=""
for arg in "$@"; do
  if [[ "$arg" == *.yaml && "$previous" != "--trace" && "$previous" != "--snapshots" ]]; then
    scenario="$arg"
  else
    args+=("$arg")
  fi
  previous="$arg"
done
log "running the demo: $(basename "$scenario")"
exec "$REPO_ROOT/build/tools/iae/iae" sim run "$scenario" ${args[@]+"${args[@]}"}
