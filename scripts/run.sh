#!/usr/bin/env bash
# Builds the programs and starts them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
exec build/default/cli/display-send --help
