#!/usr/bin/env bash
# How Ravelin.exe loads libraries, under Wine (where no WebView2 Runtime exists, so a run that gets
# past loading its libraries ends in the WebView2 box):
#  - without the C++ runtime the webview library needs, the box names the missing DLL and the
#    Visual C++ Redistributable;
#  - without webview.dll itself, the box says that file is missing;
#  - a winmm.dll planted beside the executable is never loaded, even with Wine told to prefer such
#    copies the way Windows does. (A planted version.dll cannot be tried here: Wine's own user32
#    imports it, so the loader takes it while starting the process, before any of the program's
#    code runs; platform_test covers the webview library's imports.)
if [ -z "${RAVELIN_WINE_DESKTOP_HELD:-}" ]; then
  RAVELIN_WINE_DESKTOP_HELD=1 exec flock "$1/wine-desktop.lock" bash "$0" "$@"
fi
set -u
build=$1
fail() {
  echo "library_load_test: $*" >&2
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  [ -f "${log:-}" ] && tail -n 20 "$log" >&2
  exit 1
}
work=$(mktemp -d "${RAVELIN_TEST_TMP:-${TMPDIR:-/tmp}}/library-load.XXXXXX")
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/../support/wine_box.sh"

# install FOLDER: the executable, the webview library and the page, as the build lays them out.
install() {
  mkdir -p "$1"
  cp "$build/Ravelin.exe" "$build/webview.dll" "$1/" || fail "build output missing"
  [ -d "$build/ui" ] && cp -r "$build/ui" "$1/"
}

# run_to_box FOLDER OVERRIDES TEXT: starts the program, waits for its box, checks that the box's
# text holds TEXT, answers it and checks the exit code 1.
run_to_box() {
  log=$work/wine.log
  box_start "$1/Ravelin.exe" "$2"
  box_wait "$3"
  box_answer 1
}

install "$work/runtime"
run_to_box "$work/runtime" "msvcp140=" \
  'It needs MSVCP140.dll, which is not installed on this computer. The Microsoft Visual C++ Redistributable (x64) provides it'

install "$work/nolibrary"
rm "$work/nolibrary/webview.dll"
run_to_box "$work/nolibrary" "" 'the file webview.dll is missing from its folder'

install "$work/planted"
cp "$build/tests/planted.dll" "$work/planted/winmm.dll" || fail "planted.dll missing from the build"
run_to_box "$work/planted" "winmm=n,b" 'WebView2 Runtime'
loaded=$(cd "$work/planted" && ls -- *.loaded 2>/dev/null | tr '\n' ' ')
[ -z "$loaded" ] || fail "planted libraries were loaded: $loaded"
echo "library_load_test: missing runtime and missing library named; planted winmm.dll never loaded"
