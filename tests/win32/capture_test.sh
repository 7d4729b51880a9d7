#!/usr/bin/env bash
# The capture thread's hooks and handlers under Wine, with keys typed by xdotool (which the test
# program starts itself) into a window of its own.
# All Wine tests share one wineserver, so one desktop: pointer, hooks, foreground and pipe names.
# Tests that use it take turns, also under a parallel ctest.
if [ -z "${RAVELIN_WINE_DESKTOP_HELD:-}" ]; then
  RAVELIN_WINE_DESKTOP_HELD=1 exec flock "$1/wine-desktop.lock" bash "$0" "$@"
fi
set -eu
build=$1
command -v xdotool >/dev/null || { echo "capture_test: xdotool is not installed" >&2; exit 1; }
# A crash ends the process with its exception code instead of opening Wine's debugger dialog.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winedbg.exe=d"
exe=$build/tests/capture_test.exe
[ -f "$exe" ] || exe=$build/capture_test.exe
exec wine "$exe"
