#!/usr/bin/env bash
# scripts/run.sh as a user starts it, on the X server of xvfb-run: the panel stands beside
# the virtual display, or below it on a narrow screen, never on top of it, and closing the
# panel ends both.
# Usage (inside xvfb-run): check_run.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1
build=$2
for tool in xdotool timeout; do
  command -v "$tool" >/dev/null || { echo "xdotool is not installed (scripts/setup.sh installs it)"; exit 1; }
done

runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
guard_pid=
run_pid=
cleanup() {
  [ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null || true
  [ -n "$guard_pid" ] && kill "$guard_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$runtime/run.out" ] && cat "$runtime/run.out"; exit 1; }

wait_for() {  # wait_for SECONDS COMMAND...: true once COMMAND succeeds
  local end=$((SECONDS + $1)); shift
  until "$@"; do
    (( SECONDS < end )) || return 1
    sleep 0.1
  done
}

# A virtual display of the test's own holds sim0, the first port in the list: the panel
# opens it whatever becomes of the display run.sh starts, never a serial device of the
# machine.
"$build/sim/display-sim" --text >"$runtime/guard.out" 2>&1 &
guard_pid=$!
wait_for 10 grep -qs '^listening on sim0 ' "$runtime/guard.out" || fail "the guard display did not start"

BUILD_DIR=$build "$src/scripts/run.sh" --no-build >"$runtime/run.out" 2>&1 &
run_pid=$!

window_of() {  # the visible window of a program, by its class
  timeout 20 xdotool search --sync --onlyvisible --classname "$1" 2>/dev/null | head -n 1
}
sim_window=$(window_of display-sim) || true
panel_window=$(window_of display-test) || true
[ -n "$sim_window" ] || fail "no window of the virtual display"
[ -n "$panel_window" ] || fail "no window of the panel"
grep -q '^Virtual display: listening on sim1 ' "$runtime/run.out" || fail "run.sh did not start its display on sim1"

geometry() {  # geometry WINDOW: X Y WIDTH HEIGHT
  local g
  g=$(xdotool getwindowgeometry --shell "$1")
  echo "$(sed -n 's/^X=//p' <<<"$g") $(sed -n 's/^Y=//p' <<<"$g") $(sed -n 's/^WIDTH=//p' <<<"$g") $(sed -n 's/^HEIGHT=//p' <<<"$g")"
}
# Side by side where both fit the width, tops level; else the panel below the display.
# 40: the gap run.sh leaves for window frames. The windows may still be on their way there.
read -r screen_w screen_h < <(xdotool getdisplaygeometry)
placed() {
  read -r sx sy sw sh < <(geometry "$sim_window")
  read -r px py pw ph < <(geometry "$panel_window")
  if (( sw + 40 + pw <= screen_w )); then
    arrangement="side by side"
    (( sx + sw <= px && py == sy ))
  else
    arrangement="one above the other"
    (( sy + sh <= py ))
  fi
}
wait_for 5 placed || true
placed || true
echo "screen ${screen_w}x${screen_h}; display ${sw}x${sh}+${sx}+${sy}; panel ${pw}x${ph}+${px}+${py}"

placed || fail "the panel is not $arrangement with the virtual display"
(( sx >= 0 && sy >= 0 && px + pw <= screen_w && py + ph <= screen_h )) || fail "a window leaves the screen"

# Closing the panel ends run.sh, and with it the virtual display and its link.
panel_pid=$(xdotool getwindowpid "$panel_window")
kill "$panel_pid"
run_ended() { [ ! -e "/proc/$run_pid" ] || grep -q ') Z ' "/proc/$run_pid/stat"; }
wait_for 10 run_ended || fail "run.sh did not end with the panel"
wait "$run_pid" || true
run_pid=
[ ! -e "$runtime/display-test/ports/sim1" ] || fail "the virtual display of run.sh is still published"
echo "$arrangement, and both ended with the panel"
