#!/usr/bin/env bash
# The main job: the engine on simwin against a simulated installer, printing what the host was told.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
ensure_packages "${LINUX_PACKAGES[@]}"
log "building (build/)"
configure_and_build "$REPO_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -- iae
log "running the demo"
exec "$REPO_ROOT/build/tools/iae/iae" demo "$@"
