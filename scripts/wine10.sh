#!/usr/bin/env bash
# The tests under wine (scripts/wine-tests.sh: the conformance tests and the end-to-end runs) on wine 10, which
# raises the window events Windows raises for its own controls (shown, hidden, destroyed, moved, and state changed
# after BM_SETCHECK and BM_CLICK), where wine 8 raises only creation and focus. Debian 12 has wine 8 only, so wine
# 10 runs in a chroot of Debian 13, made once and kept in IAE_WINE10_ROOT (default /var/tmp/iae-wine10). The
# repository is mounted at the same path inside it, so the same scripts and the same programs run there.
#   scripts/wine10.sh [--repeat N]   (builds with scripts/windows.sh first; needs root for chroot and mount)
#   scripts/wine10.sh --prepare      makes the chroot only
# Exit code 75 says that the chroot could not be made (no network, no right to mount): no test ran.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
prepare_only=""
if [ "${1:-}" = "--prepare" ]; then prepare_only=1; shift; fi
parse_repeat "$@"
ROOT="${IAE_WINE10_ROOT:-/var/tmp/iae-wine10}"
MIRROR="${IAE_DEBIAN_MIRROR:-http://deb.debian.org/debian}"

mounted=()
unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[$i]}" 2>/dev/null || umount -l "${mounted[$i]}" || true; done
}
trap unmount_all EXIT
bind() {  # host-path
  mkdir -p "$ROOT$1" && mount --bind "$1" "$ROOT$1" && mounted+=("$ROOT$1")
}

# Each step checked by hand: errexit does not hold inside a function whose status is tested.
make_chroot() {
  ensure_packages debootstrap || return
  rm -rf "$ROOT" || return
  debootstrap --variant=minbase trixie "$ROOT" "$MIRROR" >/dev/null || return
  bind /proc && bind /dev && bind /sys || return
  cp /etc/resolv.conf "$ROOT/etc/resolv.conf" || return
  chroot "$ROOT" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    wine wine64 xvfb xauth >/dev/null || return
  chroot "$ROOT" apt-get clean
}

if [ ! -f "$ROOT/.iae-ready" ]; then
  log "making a Debian 13 chroot with wine 10 in $ROOT (once; about a minute and 1.4 GB)"
  started=$SECONDS
  made=0
  make_chroot || made=$?
  unmount_all
  mounted=()
  if [ $made -ne 0 ]; then
    echo "wine10: the chroot could not be made in $ROOT; no test ran" >&2
    exit 75
  fi
  touch "$ROOT/.iae-ready"
  log "chroot ready in $((SECONDS - started)) s, $(du -sh "$ROOT" | cut -f1)"
fi
[ -z "$prepare_only" ] || exit 0

bind /proc
bind /dev
bind /sys
bind "$REPO_ROOT"
[ -z "${IAE_WIN64_BUILD:-}" ] || bind "$IAE_WIN64_BUILD"
log "$(chroot "$ROOT" /usr/lib/wine/wine64 --version) in $ROOT"
chroot "$ROOT" env HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin IAE_WINEPREFIX=/root/iae-wineprefix \
  ${IAE_WIN64_BUILD:+IAE_WIN64_BUILD="$IAE_WIN64_BUILD"} bash "$REPO_ROOT/scripts/wine-tests.sh" --repeat "$repeat"
