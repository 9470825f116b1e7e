#!/usr/bin/env bash
# Builds the three programs (only them: scripts/test.sh builds the tests and tools) and starts
# them: the virtual display, then the panel beside it, or below it where the screen is too
# narrow for both side by side; the panel lists the display's port (sim0) first and opens it.
# The virtual display ends when the panel closes.
# Usage: scripts/run.sh [--no-build]   (--no-build: start what $BUILD_DIR holds, by default
#                                        build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build/default}
if [ "${1:-}" != --no-build ]; then
  scripts/setup.sh build
  jobs=$(nproc 2>/dev/null || echo 2)
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$jobs" --target display-test display-sim display-send
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

# The pair in the middle of the work area (the screen less the desktop's panels), the display
# on the left and the panel on its right at the same height; where both do not fit side by
# side, the display above and the panel below it. The panel opens centred, on top of the
# display, and takes no position from its command line (a dialog window).
window_of() {  # window_of PID: its visible window, once it shows; nothing if it ends first
  local end=$((SECONDS + 10)) window
  while kill -0 "$1" 2>/dev/null && (( SECONDS < end )); do
    window=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -n 1 || true)
    if [ -n "$window" ]; then echo "$window"; return; fi
    sleep 0.1
  done
}
size_of() {  # size_of WINDOW: WIDTH HEIGHT
  local geometry
  geometry=$(xdotool getwindowgeometry --shell "$1")
  echo "$(sed -n 's/^WIDTH=//p' <<<"$geometry") $(sed -n 's/^HEIGHT=//p' <<<"$geometry")"
}
work_area() {  # X Y WIDTH HEIGHT of the first desktop's work area, else the whole screen
  local area
  area=$(xprop -root -notype _NET_WORKAREA 2>/dev/null | sed -n 's/^_NET_WORKAREA = *//p' | tr -d ',' || true)
  read -r -a area <<<"$area"
  if [ "${#area[@]}" -ge 4 ] && [ "${area[2]}" -gt 0 ] && [ "${area[3]}" -gt 0 ]; then
    echo "${area[@]:0:4}"
  else
    echo "0 0 $(xdotool getdisplaygeometry)"
  fi
}
if $place; then
  sim_window=$(window_of "$sim_pid")
  panel_window=$(window_of "$panel_pid")
  if [ -n "$sim_window" ] && [ -n "$panel_window" ]; then
    read -r sim_width sim_height < <(size_of "$sim_window")
    read -r panel_width panel_height < <(size_of "$panel_window")
    read -r area_x area_y area_width area_height < <(work_area)
    # The gap leaves room for the frame and title bar a window manager draws around each.
    gap=40
    if (( sim_width + gap + panel_width <= area_width )); then
      sim_left=$(( area_x + (area_width - sim_width - gap - panel_width) / 2 ))
      panel_left=$((sim_left + sim_width + gap))
      sim_top=$(( area_y + (area_height - (sim_height > panel_height ? sim_height : panel_height)) / 3 ))
      panel_top=$sim_top
    else
      sim_left=$(( area_x + (area_width - sim_width) / 2 ))
      panel_left=$(( area_x + (area_width - panel_width) / 2 ))
      sim_top=$(( area_y + (area_height - sim_height - gap - panel_height) / 3 ))
      (( sim_top < area_y )) && sim_top=$area_y
      panel_top=$((sim_top + sim_height + gap))
      # On a screen too small even so, the panel keeps to the bottom edge, over the log.
      (( panel_top + panel_height > area_y + area_height )) && panel_top=$((area_y + area_height - panel_height))
    fi
    (( sim_left < area_x )) && sim_left=$area_x
    (( panel_left < area_x )) && panel_left=$area_x
    (( panel_top < area_y )) && panel_top=$area_y
    xdotool windowmove "$sim_window" "$sim_left" "$sim_top" || true
    xdotool windowmove "$panel_window" "$panel_left" "$panel_top" || true
  fi
fi
wait "$panel_pid"
