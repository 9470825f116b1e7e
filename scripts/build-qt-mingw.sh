#!/usr/bin/env bash
# Builds a static, release-only Qt 6.4.2 for 64-bit Windows with mingw-w64, from Debian's
# qt6-base source package, into a cache outside the tree; prints the kit's folder last.
# Usage: scripts/build-qt-mingw.sh          (builds only when the kit is missing or stale)
#
# The kit is reused while this script is unchanged: its hash is the kit's stamp. Debian
# ships Qt for Linux only, but its host tools (moc, rcc, uic in qt6-base-dev-tools) are the
# same 6.4.2 and serve the cross-build, so only the libraries are built here.
set -euo pipefail

qt_version=6.4.2
triple=x86_64-w64-mingw32
cache=${XDG_CACHE_HOME:-$HOME/.cache}/vandry-display-test
kit=$cache/qt-$qt_version-mingw-static
work=$cache/qt-$qt_version-mingw-work
stamp=$kit/.recipe
recipe=$(sha256sum "$0" | cut -d' ' -f1)

say() { echo "build-qt-mingw: $*" >&2; }

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$recipe" ]; then
  echo "$kit"
  exit 0
fi

mkdir -p "$cache"
# One build at a time, even when two test runs start together.
exec 9>"$cache/qt-mingw.lock"
flock 9
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$recipe" ]; then
  echo "$kit"
  exit 0
fi

say "building Qt $qt_version for Windows into $kit (once; about half an hour)"
rm -rf "$work" "$kit"
mkdir -p "$work/apt/lists/partial" "$work/apt/archives/partial" "$work/src"

# A private source list and apt state: the system's apt configuration stays as it is.
cat >"$work/apt/sources.list" <<'EOF'
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
EOF
apt_opts=(
  -o Dir::Etc::SourceList="$work/apt/sources.list"
  -o Dir::Etc::SourceParts=/nonexistent
  -o Dir::State="$work/apt"
  -o Dir::State::Lists="$work/apt/lists"
  -o Dir::State::status=/var/lib/dpkg/status
  -o Dir::Cache="$work/apt"
  -o Dir::Cache::archives="$work/apt/archives"
  -o Debug::NoLocking=1
  # apt hands downloads to its _apt user, who may not write to a home folder.
  -o APT::Sandbox::User="$(id -un)"
)
if ! apt-get "${apt_opts[@]}" -qq update >"$work/apt.log" 2>&1 ||
   ! (cd "$work/src" && apt-get "${apt_opts[@]}" -qq source "qt6-base" >>"$work/apt.log" 2>&1); then
  say "cannot get Debian's qt6-base source package (see $work/apt.log); the Windows build needs it"
  exit 1
fi
src=$(find "$work/src" -maxdepth 1 -type d -name "qt6-base-$qt_version*" | head -n1)
if [ -z "$src" ]; then
  say "Debian's qt6-base source is not Qt $qt_version, the version of its host tools (see $work/src)"
  exit 1
fi

# The kit's own toolchain file: Qt's qt.toolchain.cmake chains the one it was built with,
# so it must outlive any checkout of the project.
mkdir -p "$kit"
cat >"$kit/mingw-w64.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

# Only what the panel uses: Core, Gui, Widgets, Test, with the Windows and offscreen
# platform plugins. Third-party libraries come from Qt's own copies, so the programs need
# no DLL. Debian's source lacks the tablet header; the Windows plugin does not compile
# without OpenGL in 6.4.2, which then is loaded at run time and links nothing.
cmake -S "$src" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$kit/mingw-w64.cmake" \
  -DCMAKE_INSTALL_PREFIX="$kit" \
  -DCMAKE_BUILD_TYPE=Release \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DBUILD_SHARED_LIBS=OFF \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_tabletevent=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_freetype=OFF \
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_icu=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_jpeg=OFF \
  >"$work/configure.log" 2>&1 || { say "configure failed, see $work/configure.log"; exit 1; }

jobs=$(nproc 2>/dev/null || echo 2)
if ! cmake --build "$work/build" -j "$jobs" >"$work/build.log" 2>&1; then
  say "build failed, see $work/build.log"
  exit 1
fi
cmake --install "$work/build" >"$work/install.log" 2>&1 ||
  { say "install failed, see $work/install.log"; exit 1; }
# Qt's licence texts travel with the programs linked against it.
mkdir -p "$kit/licenses"
cp "$src"/LICENSES/*.txt "$kit/licenses/" 2>/dev/null || true
cp "$src/debian/copyright" "$kit/licenses/debian-copyright" 2>/dev/null || true
basename "$src" >"$kit/licenses/SOURCE"

rm -rf "$work"
echo "$recipe" >"$stamp"
say "Qt $qt_version for Windows is ready in $kit"
echo "$kit"
