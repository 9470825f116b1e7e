#!/bin/sh
# Runs a Windows program of the cross-build under Wine, in the given prefix.
# Usage: cmake/wine-run.sh PREFIX PROGRAM.exe [ARGUMENT...]
#        cmake/wine-run.sh PREFIX --prepare      (only create the prefix)
#
# The prefix is created on first use. Wine's mount manager is kept off in it: left on, it
# links every serial device of the machine into the prefix (/dev/ttyS0 as COM1), and a
# test that lists or opens COM ports would then reach real hardware. It also names that
# COM1 in the registry's list of serial ports (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM); with it
# off, Wine makes no such key (it is volatile: it lasts as long as the Wine server), and a
# COM1 named there by a Wine started some other way finds no link to open (see below).
# The Windows tests link the ports they need themselves (tests/wine/port_host.cpp) and
# name them in that key as a driver does (tests/wine/serial_comm.h).
set -eu

if [ $# -lt 2 ]; then
  echo "usage: $0 PREFIX PROGRAM [ARGUMENT...] | $0 PREFIX --prepare" >&2
  exit 2
fi
prefix=$1
shift
case "$prefix" in
  /*) ;;
  *) prefix="$PWD/$prefix" ;;  # Wine takes only an absolute prefix
esac

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# Console programs need no display; an empty one keeps Wine from looking for X. A test of
# a window names the virtual X display it runs on.
export DISPLAY="${DISPLAYTEST_WINE_DISPLAY:-}"
unset WAYLAND_DISPLAY 2>/dev/null || true
# Besides the mount manager: no menu entries in the user's home, no prompts to install
# Mono or Gecko (they would wait for a click that never comes).
export WINEDLLOVERRIDES="mountmgr.sys,winemenubuilder.exe,mscoree,mshtml=d"

# CI may start the tests with no standard input at all; Wine wants one to hand on.
if ! { true <&0; } 2>/dev/null; then
  exec </dev/null
fi

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/.displaytest-ready" ]; then
    echo "wine-run: creating the Wine prefix $prefix (once; this takes a while)" >&2
    log="$prefix.log"
    if ! wineboot --init >"$log" 2>&1 </dev/null; then
      echo "wine-run: wineboot failed, see $log" >&2
      exit 1
    fi
    # Keep the mount manager off for a Wine started in this prefix by hand, too.
    wine reg add 'HKCU\Software\Wine\DllOverrides' /v mountmgr.sys /t REG_SZ /d '' /f \
      >>"$log" 2>&1 </dev/null
    wineserver -w
    touch "$prefix/.displaytest-ready"
  fi
  # The dialog font. Wine maps it to Tahoma, or to SimSun under a Chinese code page, and
  # has neither here: this Wine does not load the Tahoma in its own font folder (Debian's
  # fonts-wine), and SimSun comes with Windows only. Text would ask for a font that is not
  # there and land in whatever face sorts first, a math font that draws Latin text above
  # the line. So Tahoma is copied into the prefix and SimSun stands for the CJK font.
  for font in /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf; do
    [ -f "$font" ] || continue
    [ -f "$prefix/drive_c/windows/Fonts/${font##*/}" ] || cp "$font" "$prefix/drive_c/windows/Fonts/"
  done
  if [ ! -f "$prefix/.displaytest-fonts" ]; then
    for face in SimSun NSimSun; do
      wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ \
        /d 'WenQuanYi Micro Hei' /f >>"$prefix.log" 2>&1 </dev/null
    done
    touch "$prefix/.displaytest-fonts"
  fi
  # A COM link to anything but a pseudo-terminal or /dev/null (a port that cannot be
  # configured, for the tests), say left by a Wine started without this script, is
  # removed before any program can open it.
  for link in "$prefix"/dosdevices/com*; do
    [ -L "$link" ] || continue
    case "$(readlink "$link")" in
      /dev/pts/*|/dev/null) ;;
      *) rm -f "$link" ;;
    esac
  done
) 9>"$prefix.lock"

if [ "$1" = --prepare ]; then
  exit 0
fi
exec wine "$@"
