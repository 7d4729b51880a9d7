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
base_overrides="${WINEDLLOVERRIDES:-};winedbg.exe=d"

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
  WINEDLLOVERRIDES="$base_overrides;$2" WINEDEBUG=trace+msgbox wine "$1/Ravelin.exe" >"$log" 2>&1 &
  pid=$!
  box=""
  for _ in $(seq 200); do
    box=$(xdotool search --name '^Ravelin$' 2>/dev/null | head -n 1)
    [ -n "$box" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended without showing a box"
    sleep 0.3
  done
  [ -n "$box" ] || fail "no box titled Ravelin appeared within 60 s"
  grep -a 'MSGBOX_OnInit' "$log" | grep -qF -- "$3" || fail "the box does not say: $3"
  for attempt in 1 2 3; do
    if [ "$attempt" -eq 1 ]; then
      xdotool key --window "$box" Return 2>/dev/null
    else
      xdotool windowfocus "$box" 2>/dev/null; xdotool key Return 2>/dev/null
    fi
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break 2
      sleep 0.1
    done
  done
  kill -0 "$pid" 2>/dev/null && fail "the program did not end after its box was answered"
  wait "$pid"
  code=$?
  pid=""
  [ "$code" -eq 1 ] || fail "exit code $code, expected 1"
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
