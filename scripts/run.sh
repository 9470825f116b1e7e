#!/usr/bin/env bash
# Builds the programs and starts them: the virtual display, then the panel, which lists the
# display's port (sim0) first and opens it. The virtual display ends when the panel closes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "No desktop to show the panel on (DISPLAY is not set): start it from a desktop session." >&2
  exit 1
fi

# The display prints its banner only once its link is in place.
sim_out=$(mktemp)
build/default/sim/display-sim >"$sim_out" &
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
fi

build/default/app/display-test
