#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, only what is missing.
# Usage: scripts/setup.sh [build|test]
set -euo pipefail

# xdotool: scripts/run.sh places the two windows side by side with it; xprop (x11-utils)
# reads the desktop's work area for it. libcli11-dev: the programs read their command lines
# with it, header-only, so the Windows build takes the same headers.
packages=(cmake make g++ pkg-config libgtest-dev libcli11-dev qt6-base-dev fonts-wqy-microhei xdotool x11-utils)
# The tests tell Qt that a screen reader listens through its private platform headers.
packages+=(qt6-base-private-dev)
# The format test, configured with the tests: every C++ file as clang-format writes it.
packages+=(clang-format)
if [ "${1:-build}" = test ]; then
  # The Windows cross-build and Wine to run its tests: wine64 is the 64-bit loader,
  # wine the `wine` and `wineserver` commands around it, fonts-wine its dialog font.
  packages+=(mingw-w64 wine wine64 fonts-wine)
  # Qt for Windows, built from Debian's source package (scripts/build-qt-mingw.sh): its
  # host tools come from qt6-base-dev-tools, apt-get source unpacks with dpkg-source
  # (dpkg-dev, below), and Qt builds with Ninja.
  packages+=(qt6-base-dev-tools ninja-build)
  # The package test: cpack's dependency list (dpkg-shlibdeps), lintian on the .deb, man
  # to read its manual pages.
  packages+=(dpkg-dev lintian man-db)
  # scripts/run.sh's test: an X server of its own.
  packages+=(xvfb xauth)
  # The fuzz targets: clang, and its sanitizer and libFuzzer runtimes.
  packages+=(clang libclang-rt-14-dev)
  # The Windows installer: wixl builds it, msitools' msiinfo reads it back.
  packages+=(wixl msitools)
  # Displays on the network: a real device server and a real RFC 2217 client as the peers.
  packages+=(ser2net python3-serial)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
