#!/usr/bin/env bash
# Runs one Windows test program under Wine: run.sh BUILD_DIR PROGRAM.
# All Wine tests share one wineserver, so one desktop: pointer, hooks, foreground and pipe names.
# Tests that use it take turns, also under a parallel ctest or several ctest runs.
if [ -z "${RAVELIN_WINE_DESKTOP_HELD:-}" ]; then
  RAVELIN_WINE_DESKTOP_HELD=1 exec flock "$1/wine-desktop.lock" bash "$0" "$@"
fi
set -eu
build=$1
program=$2
# A crash ends the process with its exception code instead of opening Wine's debugger dialog.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winedbg.exe=d"
# The backend's own tests also check that the shipped webview library loads.
RAVELIN_WEBVIEW_DLL=$(winepath -w "$build/webview.dll" 2>/dev/null || true)
export RAVELIN_WEBVIEW_DLL
exe=$build/tests/$program.exe
[ -f "$exe" ] || exe=$build/$program.exe
exec wine "$exe"
