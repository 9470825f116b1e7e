#!/usr/bin/env bash
# Builds the programs and starts them: the virtual display, then the panel beside it, which
# lists the display's port (sim0) first and opens it. The virtual display ends when the panel
# closes.
# Usage: scripts/run.sh [--no-build]   (--no-build: start what $BUILD_DIR holds, by default
#                                        build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build/default}
if [ "${1:-}" != --no-build ]; then
  scripts/setup.sh build
  jobs=$(nproc 2>/dev/null || echo 2)
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$jobs"
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "No desktop to show the panel on (DISPLAY is not set): start it from a desktop session." >&2
  exit 1
fi

# Side by side needs a window position, which only X11 lets a program choose: on a Wayland
# desktop both programs run through its X server (XWayland).
place=false
if [ -n "${DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ] && command -v xdotool >/dev/null; then
  place=true
  export QT_QPA_PLATFORM=xcb
fi

# The display prints its banner only once its link is in place.
sim_out=$(mktemp)
"$build_dir/sim/display-sim" >"$sim_out" &
sim_pid=$!
stop_sim() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  rm -f "$sim_out"
}
trap stop_sim EXIT
for _ in $(seq 100); do
  if grep -q '^listening on ' "$sim_out" || ! kill -0 "$sim_pid" 2>/dev/null; then break; fi
  sleep 0.1
done
if grep -q '^listening on ' "$sim_out"; then
  echo "Virtual display: $(head -n 1 "$sim_out")"
else
  echo "The virtual display did not start; the panel comes up with the machine's ports only." >&2
  place=false
fi

"$build_dir/app/display-test" &
panel_pid=$!

# The pair in the middle of the screen, the display on the left, the panel on its right at
# the same height: the panel opens centred, on top of the display's lamps and log, and
# takes no position from its command line (a dialog window).
window_of() {  # window_of PID: its visible window, once it shows
  timeout 10 xdotool search --sync --onlyvisible --pid "$1" 2>/dev/null | head -n 1 || true
}
size_of() {  # size_of WINDOW: WIDTH HEIGHT
  local geometry
  geometry=$(xdotool getwindowgeometry --shell "$1")
  echo "$(sed -n 's/^WIDTH=//p' <<<"$geometry") $(sed -n 's/^HEIGHT=//p' <<<"$geometry")"
}
if $place; then
  sim_window=$(window_of "$sim_pid")
  panel_window=$(window_of "$panel_pid")
  if [ -n "$sim_window" ] && [ -n "$panel_window" ]; then
    read -r sim_width sim_height < <(size_of "$sim_window")
    read -r panel_width panel_height < <(size_of "$panel_window")
    read -r screen_width screen_height < <(xdotool getdisplaygeometry)
    gap=16
    left=$(( (screen_width - sim_width - gap - panel_width) / 2 ))
    top=$(( (screen_height - (sim_height > panel_height ? sim_height : panel_height)) / 3 ))
    (( left < 0 )) && left=0
    (( top < 0 )) && top=0
    # On a screen too narrow for both, the panel keeps to its right edge, over the log.
    panel_left=$((left + sim_width + gap))
    (( panel_left + panel_width > screen_width )) && panel_left=$((screen_width - panel_width))
    (( panel_left < 0 )) && panel_left=0
    xdotool windowmove "$sim_window" "$left" "$top" || true
    xdotool windowmove "$panel_window" "$panel_left" "$top" || true
  fi
fi
wait "$panel_pid"
