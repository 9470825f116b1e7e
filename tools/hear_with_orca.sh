#!/usr/bin/env bash
# Hears the panel and the virtual display through Orca on a desktop of their own (Xvfb, a
# D-Bus session, the AT-SPI bus): drives them by keyboard and prints each phrase Orca
# speaks, then the lamp group and the display's log as the accessibility tree has them.
# Orca writes each phrase as "SPEECH OUTPUT:" to its debug file; no sound device is needed,
# and speech itself is kept from starting (without a sound device it waits for one).
# Needs Debian's orca at-spi2-core python3-pyatspi xvfb dbus-x11 xdotool.
# Usage: tools/hear_with_orca.sh [BUILD_DIR]     (default build/default)
set -u
build=${1:-build/default}
work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  [ -n "${DBUS_SESSION_BUS_PID:-}" ] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null
  [ -n "${SPEECH_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

export XDG_RUNTIME_DIR=$work/run HOME=$work/home QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
mkdir -p -m700 "$XDG_RUNTIME_DIR" && mkdir -p "$HOME"
display=90
while [ -e /tmp/.X11-unix/X$display ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=:$display
for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$display ] && break; sleep 0.1; done
eval "$(dbus-launch --sh-syntax)"
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/atspi.log" 2>&1 &
pids+=($!)
mkdir -p "$work/nospeech"
echo 'raise ImportError("no speech server: Orca logs what it would say")' >"$work/nospeech/speechd.py"
PYTHONPATH=$work/nospeech orca --debug-file "$work/orca.log" >"$work/orca.out" 2>&1 &
pids+=($!)
sleep 4

log=$work/orca.log
mark=0
heard() {  # the phrases since the last call
  sleep "${1:-1.5}"
  local lines
  lines=$(wc -l <"$log")
  tail -n +$((mark + 1)) "$log" | head -n $((lines - mark)) | sed -nE "s/^.*SPEECH OUTPUT: '(.*)' *\{'established.*$/    \1/p"
  mark=$lines
}
press() {  # a label, then keys for the focused window
  echo "$1"
  shift
  xdotool key --delay 300 "$@"
  heard
}

"$build/sim/display-sim" --lang en >"$work/sim.out" 2>&1 &
sim=$!
pids+=($sim)
sleep 2
LANG=zh_CN.UTF-8 "$build/app/display-test" >"$work/panel.out" 2>&1 &
pids+=($!)
panel=$(xdotool search --sync --name "^Vandry Customer Display Test$" | head -1)
display_window=$(xdotool search --sync --name "Virtual Customer Display" | head -1)
heard 2 >/dev/null

echo "The panel comes to the front:"
xdotool windowfocus --sync "$panel"
heard 2
press "Alt+S, in Chinese:" alt+s
press "Alt+E:" alt+e
press "Alt+S:" alt+s
press "Alt+2:" alt+2
press "Right:" Right
press "Shift+Tab to the port list:" shift+Tab shift+Tab shift+Tab
press "Tab, Down on the baud list:" Tab Down
press "Up:" Up
press "Alt+A, three steps:" alt+a
heard 2
press "Alt+T:" alt+t
press "Alt+A, then to the virtual display for two steps:" alt+a
xdotool windowfocus --sync "$display_window"
heard 2.5
press "Tab to its log:" Tab
xdotool windowfocus --sync "$panel"
press "Back to the panel, Alt+T:" alt+t
echo "The accessibility tree:"
/usr/bin/python3 - <<'EOF'
import pyatspi

def find(node, role, name=None):
    try:
        if node.getRoleName() == role and (name is None or node.name == name):
            return node
        for i in range(node.childCount):
            found = find(node[i], role, name)
            if found:
                return found
    except Exception:
        pass
    return None

for app in pyatspi.Registry.getDesktop(0):
    if app.name == "display-test":
        box = find(app, "panel", "Light Status")
        print("    Light Status panel:", [f"{box[i].getRoleName()} | {box[i].name}" for i in range(box.childCount)])
    if app.name == "display-sim":
        text = [n for n in [find(app, "text")] if n]
        print("    display's log:", [f"{t.getRoleName()} | {t.name}" for t in text])
EOF
echo "The virtual display ends:"
kill "$sim"
heard 3

[ -n "${SPEECH_KEEP:-}" ] && echo "Orca's log: $log"
