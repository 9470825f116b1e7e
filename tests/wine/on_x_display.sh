#!/bin/sh
# Runs a command whose Windows program shows a window under Wine, on the X display that
# xvfb-run gave it; then ends the prefix's Wine server, which would otherwise outlive the
# display it is connected to.
# Usage: xvfb-run -a tests/wine/on_x_display.sh PREFIX COMMAND [ARGUMENT...]
prefix=$1
shift
# cmake/wine-run.sh hides the display from console programs; this one is to be seen.
DISPLAYTEST_WINE_DISPLAY=$DISPLAY "$@"
status=$?
WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
exit $status
