#!/usr/bin/env bash
# Builds every target and runs every test: the normal build, the sanitizer builds
# (AddressSanitizer for everything; ThreadSanitizer for the Qt-free code and the panel,
# about a minute more), the fuzz targets for 30 seconds each, then the Windows cross-build with its
# tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen

for preset in default asan tsan fuzz; do
  echo "==> ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "==> ${preset}: test"
  ctest --preset "$preset" -j "$jobs"
done

# Wine's server lingers a few seconds after its last program; never leave it behind.
stop_wine() {
  for prefix in build/mingw/wineprefix build/mingw/wineprefix-x build/mingw/wineprefix-msi; do
    WINEPREFIX="$PWD/$prefix" wineserver -k >/dev/null 2>&1 || true
  done
}
trap stop_wine EXIT
# Qt for Windows is built once from Debian's source package into the user's cache (about
# half an hour on two cores) and reused while its recipe is unchanged.
echo "==> Qt for Windows (built on first use)"
qt_kit=$(nice -n 10 scripts/build-qt-mingw.sh)
echo "==> mingw: configure and build (Windows programs, tests under Wine)"
cmake --preset mingw -DDISPLAYTEST_QT_MINGW="$qt_kit" >/dev/null
cmake --build --preset mingw -j "$jobs"
echo "==> mingw: test"
ctest --preset mingw -j "$jobs"
