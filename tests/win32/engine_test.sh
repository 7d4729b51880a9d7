#!/usr/bin/env bash
# The auto-clicker, key spammer and control thread clicking and typing into a window, under Wine.
# All Wine tests share one wineserver, so one desktop: pointer, hooks, foreground and pipe names.
# Tests that use it take turns, also under a parallel ctest.
if [ -z "${RAVELIN_WINE_DESKTOP_HELD:-}" ]; then
  RAVELIN_WINE_DESKTOP_HELD=1 exec flock "$1/wine-desktop.lock" bash "$0" "$@"
fi
set -eu
build=$1
# A crash ends the process with its exception code instead of opening Wine's debugger dialog.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winedbg.exe=d"
exe=$build/tests/engine_test.exe
[ -f "$exe" ] || exe=$build/engine_test.exe
exec wine "$exe"
