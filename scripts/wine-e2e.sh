#!/usr/bin/env bash
# The engine end to end under wine64: the reference host (iae-host.exe) loads the 64-bit zviae.dll and runs it
# against the sample installer (setup-sample.exe), a real Win32 wizard in another process that serves its own
# accessible objects. Every wine run has a time-out.
#   scripts/wine-e2e.sh [--repeat N]   (builds with scripts/windows.sh first)
#
# Wine 8 raises few window events itself (creation and focus); the sample raises what Windows would for its own
# controls (shown, hidden, state changed) under wine, and these reach the engine's hooks in another process as on
# Windows. So the engine follows the wizard from page to page and hears the user's later changes.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
parse_repeat "$@"
ensure_packages "${WINE_PACKAGES[@]}"

# The installer's windows need an X server; one for the whole script.
if [ -z "${IAE_E2E_UNDER_XVFB:-}" ]; then
  IAE_E2E_UNDER_XVFB=1 exec xvfb-run -a "$0" --repeat "$repeat"
fi
start_wine
WINE_MAJOR="$("$WINE" --version | sed -E 's/^wine-([0-9]+).*/\1/')"

BIN="${IAE_WIN64_BUILD:-$REPO_ROOT/build-win64}/bin"
PATTERNS="$REPO_ROOT/examples/patterns"
VERSION="$(sed -n 's/.*kEngineVersion\[\] = "\(.*\)";/\1/p' "$REPO_ROOT/src/engine/engine.h")"
for file in "$BIN/iae-host.exe" "$BIN/iae-dump.exe" "$BIN/zviae.dll" "$BIN/setup-sample.exe" "$BIN/setup_sample_test.exe"; do
  [ -f "$file" ] || { echo "wine-e2e: $file is missing; run scripts/windows.sh first" >&2; exit 1; }
done

# The prefix maps drive Z: to /.
winpath() { local path="$1"; printf 'Z:%s' "${path//\//\\}"; }

# Waits until a line of the file matches, while the process that writes it lives; false after the seconds.
wait_for_line() {  # file regex pid seconds
  local deadline=$((SECONDS + $4))
  until grep -q -- "$2" "$1" 2>/dev/null; do
    if [ $SECONDS -ge $deadline ] || ! kill -0 "$3" 2>/dev/null; then
      grep -q -- "$2" "$1" 2>/dev/null
      return
    fi
    sleep 0.1
  done
}

fail() { echo "wine-e2e: $run: $*" >&2; failures=$((failures + 1)); }

expect_file() {  # what file expected-text
  if ! diff -u <(printf '%s\n' "$3") "$2" >"$dir/diff" 2>&1; then
    fail "$1 differs from what is expected:"
    sed 's/^/    /' "$dir/diff" >&2
  fi
}

expect_line() {  # what file line
  grep -qxF -- "$3" "$2" || fail "$1 has no line '$3'"
}

# The installer's own account at its end, read from its controls (its timing line left out).
expect_final_states() {  # expected-text
  expect_file "the installer's final states" \
    <(sed -n '/^final /,$p' "$dir/installer.log" | grep -v '^[0-9]* requests') "$1"
}

# The host starts the installer on its options page with the patterns given (and the notifications text when
# `notifications` is set); waits for the host's line, closes the wizard as a user leaving it, and waits for the
# host. Sets `dir`, `pid` and `window`.
run_wizard() {  # installer-options host-line-regex pattern...
  dir="$(mktemp -d)"
  local installer="\"$(winpath "$BIN/setup-sample.exe")\" --start options --close-when $(winpath "$dir/close")"
  installer+=" $1 --timeout 40000 --log $(winpath "$dir/installer.log")"
  local wanted="$2" patterns=() file id=1
  shift 2
  for file in "$@"; do patterns+=(--pattern "$id=$(winpath "$PATTERNS/$file")"); id=$((id + 1)); done
  [ -z "${notifications:-}" ] || patterns+=(--notifications "$notifications")
  [ -z "${notification_icon:-}" ] || patterns+=(--notification-icon "$(winpath "$notification_icon")")
  timeout 60 "$WINE" "$BIN/iae-host.exe" --run "$installer" --factory CreateEngine --threshold 1 "${patterns[@]}" \
    --trace "$(winpath "$dir/trace.txt")" >"$dir/host.out" 2>"$dir/host.err" &
  local host=$!
  wait_for_line "$dir/host.out" "$wanted" $host 30 || fail "no line '$wanted' from the host within 30 s"
  if [ -n "${wanted_err:-}" ]; then
    wait_for_line "$dir/host.err" "$wanted_err" $host 30 || fail "no line '$wanted_err' from the host within 30 s"
  fi
  touch "$dir/close"
  local code=0
  wait $host || code=$?
  [ $code -eq 0 ] || fail "iae-host exited with $code"
  pid="$(sed -n 's/^ready pid=\([0-9]*\) .*/\1/p' "$dir/installer.log")"
  window="$(sed -n 's/^ready .* window=0x\([0-9A-F]*\) .*/\1/p' "$dir/installer.log")"
}

# The host starts the installer on its options page. The engine unchecks both offers, leaves the shortcut, and
# pushes Next; nothing of its patterns is on the page that comes then, and the pattern for a window that never
# comes is reported as never matched.
offers_page() {
  run="offers page (run $1)"
  local pid window notifications="Installation assistant|Unwanted offers were declined for you.|OK|Undo"
  local notification_icon="$REPO_ROOT/examples/icons/sticker.ico" wanted_err='^iae-host: \(no \)\?sticker '
  # Closed once the engine has reported what it did there and the host has seen the sticker it showed.
  run_wizard "" '^ReportProcessedItems ' wine_offers.pattern browser_extension.pattern
  # The sticker stands next to the installer's window and goes with the engine.
  grep -qE "^iae-host: sticker (below|over the lower part of) window 0x$window\$" "$dir/host.err" ||
    fail "no sticker next to the installer's window: $(grep 'sticker' "$dir/host.err" | head -n 1)"
  expect_line "the host's account" "$dir/host.err" "iae-host: CreateEngine(service, $pid, 1, writer)"
  expect_file "the host calls" "$dir/host.out" "SetEngineVersion version=\"$VERSION\"
ReportProcessedItems window=0x$window count=3
ReportItem patternId=1 resultCode=0 genericPattern=1 elementType=0 controlData=null controlPath=\"\" userAction=\"\" desiredState=\"\" patternVersion=\"1.5.0.0\"
ReportItem patternId=2 resultCode=1 genericPattern=1 elementType=0 controlData=null controlPath=\"\" userAction=\"\" desiredState=\"\" patternVersion=\"1.5.0.0\"
ReportProcessedTotal count=3"
  expect_file "the installer's changes" <(grep -E '^(page|check) ' "$dir/installer.log") "page options
check toolbar unchecked
check homepage unchecked
page type"
  expect_final_states "final page type
final toolbar unchecked
final homepage unchecked
final shortcut checked
final express checked
final custom unchecked
final launch checked
end closed"
  # Run returns once the installer has ended, and not before: the host reads its exit code then.
  expect_file "the end of the host's account" <(tail -n 4 "$dir/host.err") "iae-host: Run() returned
iae-host: Release() returned
iae-host: no sticker after Release
iae-host: installer exit code 2"
  head -n 1 "$dir/trace.txt" | grep -qF "Engine version: $VERSION" || fail "the trace does not begin with the version"
  [ "$(tail -n 1 "$dir/trace.txt")" = "TraceRelease" ] || fail "the trace writer was not released last"
}

# The host attaches to an installer that is already up, on its setup type page. The engine selects the custom
# installation and pushes Next; the silent pattern, which never matches, reports nothing.
setup_type_page() {
  run="setup type page (run $1)"
  dir="$(mktemp -d)"
  timeout 60 "$WINE" "$BIN/setup-sample.exe" --start type --close-when "$(winpath "$dir/close")" --timeout 40000 \
    --log "$(winpath "$dir/installer.log")" &
  local installer=$!
  wait_for_line "$dir/installer.log" '^ready ' $installer 30 || fail "the installer is not up within 30 s"
  local pid window
  pid="$(sed -n 's/^ready pid=\([0-9]*\) .*/\1/p' "$dir/installer.log")"
  window="$(sed -n 's/^ready .* window=0x\([0-9A-F]*\) .*/\1/p' "$dir/installer.log")"
  timeout 60 "$WINE" "$BIN/iae-host.exe" --pid "${pid:-0}" --factory CreateEngine2 --threshold 3 \
    --pattern "1=$(winpath "$PATTERNS/setup_type.pattern")" \
    --silent-pattern "2=$(winpath "$PATTERNS/browser_extension.pattern")" >"$dir/host.out" 2>"$dir/host.err" &
  local host=$!
  wait_for_line "$dir/host.out" '^ReportProcessedItems ' $host 30 || fail "no ReportProcessedItems within 30 s"
  touch "$dir/close"
  local code=0
  wait $installer || code=$?
  [ $code -eq 2 ] || fail "the installer exited with $code, not 2 (closed)"
  code=0
  wait $host || code=$?
  [ $code -eq 0 ] || fail "iae-host exited with $code"

  expect_line "the host's account" "$dir/host.err" "iae-host: CreateEngine2(service, $pid, 3, writer)"
  expect_file "the host calls" "$dir/host.out" "SetEngineVersion version=\"$VERSION\"
ReportProcessedItems window=0x$window count=2
ReportItem patternId=1 resultCode=0 genericPattern=1 elementType=0 controlData=null controlPath=\"\" userAction=\"\" desiredState=\"\" patternVersion=\"1.5.0.0\"
ReportProcessedTotal count=0"
  expect_file "the installer's changes" <(grep -E '^(page|check) ' "$dir/installer.log") "page type
check express unchecked
check custom checked
page finish"
  expect_final_states "final page finish
final toolbar checked
final homepage checked
final shortcut checked
final express unchecked
final custom checked
final launch checked
end closed"
  expect_line "the host's account" "$dir/host.err" "iae-host: Run() returned"
}


# The engine follows the wizard from page to page on the installer's own events: offers declined and Next pushed
# on the options page, then the custom installation chosen and Next pushed on the page that comes next.
wizard_pages() {
  run="wizard pages (run $1)"
  local pid window
  run_wizard "" '^ReportProcessedItems .* count=2$' wine_offers.pattern setup_type.pattern
  expect_file "the host calls" "$dir/host.out" "SetEngineVersion version=\"$VERSION\"
ReportProcessedItems window=0x$window count=3
ReportProcessedItems window=0x$window count=2
ReportItem patternId=1 resultCode=0 genericPattern=1 elementType=0 controlData=null controlPath=\"\" userAction=\"\" desiredState=\"\" patternVersion=\"1.5.0.0\"
ReportItem patternId=2 resultCode=0 genericPattern=1 elementType=0 controlData=null controlPath=\"\" userAction=\"\" desiredState=\"\" patternVersion=\"1.5.0.0\"
ReportProcessedTotal count=5"
  expect_file "the installer's changes" <(grep -E '^(page|check) ' "$dir/installer.log") "page options
check toolbar unchecked
check homepage unchecked
page type
check express unchecked
check custom checked
page finish"
}

# The user checks both offers again after the engine unchecked them: the host hears of each as code 4, and the
# engine leaves the user's choice alone.
user_rechecks() {
  run="user rechecks (run $1)"
  local pid window
  # A second pattern that never matches here keeps the window's matching going after the first has unchecked.
  run_wizard "--user-rechecks 300" '^ReportItem .*resultCode=4 .*CheckBox(2)' demo_offer.pattern browser_extension.pattern
  local path='controlPath="Pattern(0)\\Window\\Pane(0)\\CheckBox'
  expect_file "the host calls" "$dir/host.out" "SetEngineVersion version=\"$VERSION\"
ReportProcessedItems window=0x$window count=2
ReportItem patternId=1 resultCode=4 genericPattern=1 elementType=5 controlData=\"Install the Sample toolbar (recommended)\" ${path}(1)\" userAction=\"checked\" desiredState=\"unchecked\" patternVersion=\"1.5.0.0\"
ReportItem patternId=1 resultCode=4 genericPattern=1 elementType=5 controlData=\"Make Sample Search my home page\" ${path}(2)\" userAction=\"checked\" desiredState=\"unchecked\" patternVersion=\"1.5.0.0\"
ReportItem patternId=1 resultCode=0 genericPattern=1 elementType=0 controlData=null controlPath=\"\" userAction=\"\" desiredState=\"\" patternVersion=\"1.5.0.0\"
ReportItem patternId=2 resultCode=1 genericPattern=1 elementType=0 controlData=null controlPath=\"\" userAction=\"\" desiredState=\"\" patternVersion=\"1.5.0.0\"
ReportProcessedTotal count=2"
  # The echo of the engine's own unchecks, and the user's later clicks on the same boxes, are judged on the look
  # that acted: no new snapshot of the window from the engine's first uncheck to the user's last click.
  grep -q 'heard only the echo of its own actions' "$dir/trace.txt" || fail "no pass on the echo of the engine's unchecks"
  local looks
  looks="$(sed -n '/) unchecked"/,/CheckBox(2)) is now checked/p' "$dir/trace.txt" | grep -c 'UpdateSnapshot started' || true)"
  [ "$looks" = 0 ] || fail "the echo of the engine's own changes took $looks new look(s)"
  expect_final_states "final page options
final toolbar checked
final homepage checked
final shortcut checked
final express checked
final custom unchecked
final launch checked
end closed"
}

# Until the command succeeds, while the process lives; false after the seconds.
wait_until() {  # pid seconds command...
  local pid="$1" deadline=$((SECONDS + $2))
  shift 2
  until "$@"; do
    if [ $SECONDS -ge $deadline ] || ! kill -0 "$pid" 2>/dev/null; then
      "$@"
      return
    fi
    sleep 0.1
  done
}

# The engine reads an element's place (DPI-aware) for a pixel click through UI Automation, which wine 8 lacks and
# wine 10 has without that place (E_NOTIMPL): each click ends in the trace as "PixelClick error" before anything is
# posted or sent.
clicks_without_location() {
  local errors
  errors="$(grep -c 'PixelClick error' "$dir/trace.txt" 2>/dev/null || true)"
  [ "${errors:-0}" -ge "$1" ]
}

clicks_done() {
  grep -q '^ReportProcessedItems ' "$dir/host.out" 2>/dev/null || clicks_without_location 2
}

# The host starts the installer on its welcome page; the pattern clicks its banner at 33 %/75 % of its size (sent,
# the point computed from the size the installer logged) and the sponsor's tile at pixel 12,34 (posted). Each area
# logs what reached it, in its client coordinates.
banner_clicks() {
  run="banner clicks (run $1)"
  dir="$(mktemp -d)"
  local installer="\"$(winpath "$BIN/setup-sample.exe")\" --start welcome --close-when $(winpath "$dir/close")"
  installer+=" --timeout 40000 --log $(winpath "$dir/installer.log")"
  timeout 60 "$WINE" "$BIN/iae-host.exe" --run "$installer" --factory CreateEngine2 --threshold 1 \
    --pattern "1=$(winpath "$PATTERNS/wine_banner_clicks.pattern")" \
    --trace "$(winpath "$dir/trace.txt")" >"$dir/host.out" 2>"$dir/host.err" &
  local host=$!
  wait_until $host 30 clicks_done || fail "neither ReportProcessedItems nor failed clicks within 30 s"
  touch "$dir/close"
  local code=0
  wait $host || code=$?
  [ $code -eq 0 ] || fail "iae-host exited with $code"

  local pid window size
  pid="$(sed -n 's/^ready pid=\([0-9]*\) .*/\1/p' "$dir/installer.log")"
  window="$(sed -n 's/^ready .* window=0x\([0-9A-F]*\) .*/\1/p' "$dir/installer.log")"
  size="$(sed -n 's/^size banner \([0-9]*x[0-9]*\)$/\1/p' "$dir/installer.log")"
  [ -n "$size" ] || fail "the installer logged no size of its banner"
  expect_line "the host's account" "$dir/host.err" "iae-host: CreateEngine2(service, $pid, 1, writer)"
  # One outcome per wine: wine 8 has no UI Automation (CoCreateInstance of CUIAutomation answers
  # REGDB_E_CLASSNOTREG), wine 10 answers E_NOTIMPL for an element's place, so no click may reach the installer; a
  # wine that has it must deliver the exact clicks.
  if [ "$WINE_MAJOR" -le 10 ]; then
    local why='UIAutomation failed to initialize'
    [ "$WINE_MAJOR" -le 8 ] || why='PixelClick error. Not implemented.'
    clicks_without_location 2 && grep -qF "$why" "$dir/trace.txt" ||
      fail "wine $WINE_MAJOR was expected to give no element place ($why), but the engine found element places"
    expect_file "the host calls" "$dir/host.out" "SetEngineVersion version=\"$VERSION\"
ReportItem patternId=1 resultCode=0 genericPattern=1 elementType=0 controlData=null controlPath=\"\" userAction=\"\" desiredState=\"\" patternVersion=\"1.5.0.0\"
ReportProcessedTotal count=0"
    if grep -q '^click ' "$dir/installer.log"; then fail "the installer received clicks"; fi
    note="matched; no click, as wine $WINE_MAJOR gives the engine no element place"
  else
    # Engine's rounding: the share of the size as a double, truncated.
    local x y
    x="$(awk -v s="${size%x*}" 'BEGIN { print int(33 / 100.0 * s) }')"
    y="$(awk -v s="${size#*x}" 'BEGIN { print int(75 / 100.0 * s) }')"
    expect_file "the host calls" "$dir/host.out" "SetEngineVersion version=\"$VERSION\"
ReportProcessedItems window=0x$window count=2
ReportItem patternId=1 resultCode=0 genericPattern=1 elementType=0 controlData=null controlPath=\"\" userAction=\"\" desiredState=\"\" patternVersion=\"1.5.0.0\"
ReportProcessedTotal count=0"
    # Sent clicks are handled at once, posted ones when the installer reads its queue: each way keeps its order.
    expect_file "the clicks sent to the installer" <(grep '^click .* sent$' "$dir/installer.log") \
      "click banner down $x,$y sent
click banner up $x,$y sent"
    expect_file "the clicks posted to the installer" <(grep '^click .* queued$' "$dir/installer.log") \
      "click sponsor down 12,34 queued
click sponsor up 12,34 queued"
    [ "$(grep -c '^click ' "$dir/installer.log")" -eq 4 ] || fail "the installer received other clicks"
  fi
  expect_file "the installer's changes" <(grep -E '^(page|check) ' "$dir/installer.log") "page welcome"
  expect_line "the installer's end" "$dir/installer.log" "end closed"
  expect_file "the end of the host's account" <(tail -n 4 "$dir/host.err") "iae-host: Run()
iae-host: Run() returned
iae-host: Release() returned
iae-host: installer exit code 2"
}

# A message box on Next: the engine asks the installer's component (across processes, over the installer's pipe)
# to put one on the button; the sample's user answers 300 ms later, and the host hears of it as code 5.
message_box() {
  run="message box (run $1)"
  local pid window notifications="Installation assistant|This installer offers extra software. Go on?|Go on|Go back"
  run_wizard "--answer-message-box 300" '^ReportItem patternId=1 resultCode=5 ' confirm_next.pattern

  local next
  next="$(sed -n 's/^message box \(-\{0,1\}[0-9]*\) "Installation assistant"$/\1/p' "$dir/installer.log")"
  [ -n "$next" ] || fail "the installer received no message box request"
  expect_line "the installer's account" "$dir/installer.log" "message box answered $next"
  grep -q '^ReportItem patternId=1 resultCode=5 genericPattern=1 elementType=3 controlData="Next >" ' "$dir/host.out" ||
    fail "the code 5 report does not name the Next button"
  [ "$(grep -c '^ReportItem patternId=1 resultCode=5 ' "$dir/host.out")" -eq 1 ] || fail "code 5 not reported once"
  expect_line "the end-of-run result" "$dir/host.out" \
    "ReportItem patternId=1 resultCode=0 genericPattern=1 elementType=0 controlData=null controlPath=\"\" userAction=\"\" desiredState=\"\" patternVersion=\"1.5.0.0\""
  if grep -q '^check ' "$dir/installer.log"; then fail "the installer's boxes changed"; fi
}

# The host's orders that must not hurt it: Release without Run while the installer runs (no WM_QUIT reaches the
# host's own loop, no result is reported); a factory call after Release (it makes an engine that works); a process
# that never existed (the factory fails at once: wine refuses a WinEvent hook for it; nothing hangs).
host_orders() {
  run="host orders (run $1)"
  dir="$(mktemp -d)"
  local offers="1=$(winpath "$PATTERNS/wine_offers.pattern")"
  local code=0
  timeout 60 "$WINE" "$BIN/iae-host.exe" --run "\"$(winpath "$BIN/setup-sample.exe")\" --start options --timeout 20000" \
    --factory CreateEngine2 --pattern "$offers" --end release >"$dir/release.out" 2>"$dir/release.err" || code=$?
  [ $code -eq 0 ] || fail "iae-host --end release exited with $code"
  expect_file "the end of the host's account without Run" <(tail -n 2 "$dir/release.err") "iae-host: Release() without Run()
iae-host: no WM_QUIT on the host's thread"
  if grep -qE '^(ReportItem|ReportProcessedTotal) ' "$dir/release.out"; then
    fail "results or totals were reported without Run"
  fi

  local installer="\"$(winpath "$BIN/setup-sample.exe")\" --start options --close-when $(winpath "$dir/close")"
  timeout 60 "$WINE" "$BIN/iae-host.exe" --run "$installer --timeout 40000" --factory CreateEngine2 \
    --pattern "$offers" --end again >"$dir/again.out" 2>"$dir/again.err" &
  local host=$!
  wait_for_line "$dir/again.out" '^ReportProcessedItems ' $host 30 || fail "no ReportProcessedItems within 30 s"
  touch "$dir/close"
  code=0
  wait $host || code=$?
  [ $code -eq 0 ] || fail "iae-host --end again exited with $code"
  expect_file "the host's account of the first engine" \
    <(grep -E '^iae-host: (Release|no WM_QUIT|WM_QUIT|the module|the second)' "$dir/again.err") \
    "iae-host: Release() returned on another thread
iae-host: no WM_QUIT on the host's thread
iae-host: the module was unloaded and loaded again
iae-host: the second factory call made an engine
iae-host: Release() returned"
  expect_line "the host's account" "$dir/again.err" "iae-host: Run() returned"
  [ "$(grep -c '^SetEngineVersion ' "$dir/again.out")" -eq 2 ] || fail "not one SetEngineVersion per factory call"
  expect_file "the end of the second engine's run" <(grep -E '^(ReportItem|ReportProcessedTotal) ' "$dir/again.out") \
    "ReportItem patternId=1 resultCode=0 genericPattern=1 elementType=0 controlData=null controlPath=\"\" userAction=\"\" desiredState=\"\" patternVersion=\"1.5.0.0\"
ReportProcessedTotal count=0"

  code=0
  timeout 60 "$WINE" "$BIN/iae-host.exe" --pid 2147483632 --factory CreateEngine2 --pattern "$offers" \
    --trace "$(winpath "$dir/gone.txt")" >"$dir/gone.out" 2>"$dir/gone.err" || code=$?
  [ $code -eq 70 ] || fail "iae-host for a process that never existed exited with $code, not 70 (no engine)"
  grep -qF 'SetWinEventHook' "$dir/gone.txt" || fail "the trace does not say why there is no engine"
}

# iae-dump.exe reads the sample's options page through the DLL's own MSAA backend and writes the pattern skeleton an
# author starts from: the header, the offers as check boxes with their states, and nothing `iae pattern check` calls
# an error.
dump_page() {
  run="dump page (run $1)"
  dir="$(mktemp -d)"
  timeout 60 "$WINE" "$BIN/setup-sample.exe" --start options --close-when "$(winpath "$dir/close")" --timeout 40000 \
    --log "$(winpath "$dir/installer.log")" &
  local installer=$! window code=0
  wait_for_line "$dir/installer.log" '^ready ' $installer 30 || fail "the installer is not up within 30 s"
  window="$(sed -n 's/^ready .* window=0x\([0-9A-F]*\) .*/\1/p' "$dir/installer.log")"
  timeout 60 "$WINE" "$BIN/iae-dump.exe" "0x$window" >"$dir/skeleton.pattern" 2>"$dir/dump.err" || code=$?
  touch "$dir/close"
  wait $installer || true
  [ $code -eq 0 ] || fail "iae-dump exited with $code: $(head -n 2 "$dir/dump.err")"
  head -n 1 "$dir/skeleton.pattern" | grep -q '^EngineVersion = ' || fail "the skeleton has no header"
  [ "$(grep -cE '^ *CheckBox \(text=.*// checked; ' "$dir/skeleton.pattern")" -ge 2 ] ||
    fail "the skeleton does not name the checked offers: $(head -n 12 "$dir/skeleton.pattern")"
  local iae="$REPO_ROOT/build/tools/iae/iae"
  [ -x "$iae" ] || iae="$REPO_ROOT/build-dev/tools/iae/iae"
  if ! "$iae" --version >/dev/null 2>&1; then
    note="no runnable iae here (the wine 10 chroot lacks its libraries); the wine 8 run checks the skeleton"
  elif ! "$iae" pattern check "$dir/skeleton.pattern" >"$dir/check.out" 2>&1; then
    fail "iae pattern check finds errors in the skeleton: $(head -n 3 "$dir/check.out")"
  fi
}

failures=0
# First the installer's own objects, as another process sees them.
log "wine64 setup_sample_test.exe (repeat $repeat)"
if ! timeout 600 "$WINE" "$BIN/setup_sample_test.exe" --gtest_repeat="$repeat" --gtest_brief=1; then
  echo "wine-e2e: setup_sample_test.exe failed" >&2
  failures=$((failures + 1))
fi

for ((i = 1; i <= repeat; i++)); do
  for scenario in ${IAE_E2E_ONLY:-offers_page wizard_pages user_rechecks setup_type_page banner_clicks message_box host_orders dump_page}; do
    before=$failures
    note=""
    started=$(date +%s%N)
    $scenario "$i"
    took=$((($(date +%s%N) - started) / 1000000))
    if [ "$failures" -gt "$before" ]; then
      echo "wine-e2e: $run: FAILED after $took ms; its files are in $dir" >&2
    else
      echo "wine-e2e: $run: passed in $took ms${note:+ ($note)}"
      [ -n "${IAE_E2E_KEEP:-}" ] && echo "wine-e2e: its files are in $dir" || rm -rf "$dir"
    fi
  done
done
[ "$failures" -eq 0 ] || { echo "wine-e2e: $failures check(s) failed" >&2; exit 1; }
echo "wine-e2e: all runs passed"
