#!/usr/bin/env bash
# Builds the programs and starts them.
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
exec build/default/app/display-test
