#!/usr/bin/env bash
# Ravelin.exe under Wine, where no WebView2 runtime exists: the program must say so in a modal box,
# end with code 1 once the box is answered, and leave nothing beside the executable.
# All Wine tests share one wineserver, so one desktop: pointer, hooks, foreground and pipe names.
# Tests that use it take turns, also under a parallel ctest.
if [ -z "${RAVELIN_WINE_DESKTOP_HELD:-}" ]; then
  RAVELIN_WINE_DESKTOP_HELD=1 exec flock "$1/wine-desktop.lock" bash "$0" "$@"
fi
set -u
build=$1
fail() {
  echo "program_test: $*" >&2
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  [ -f "${log:-}" ] && tail -n 20 "$log" >&2
  exit 1
}

# A fresh install folder: the executable, the webview library and the page, as the build lays them out.
work=$(mktemp -d "${RAVELIN_TEST_TMP:-${TMPDIR:-/tmp}}/program.XXXXXX")
install=$work/install
mkdir -p "$install"
cp "$build/Ravelin.exe" "$build/webview.dll" "$install/" || fail "build output missing"
[ -d "$build/ui" ] && cp -r "$build/ui" "$install/"
before=$(ls -A "$install")
log=$work/wine.log

# The message-box trace carries the box's text, so the test can tell which failure was reported.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winedbg.exe=d"
WINEDEBUG=trace+msgbox wine "$install/Ravelin.exe" >"$log" 2>&1 &
pid=$!

box=""
for _ in $(seq 200); do
  box=$(xdotool search --name '^Ravelin$' 2>/dev/null | head -n 1)
  [ -n "$box" ] && break
  kill -0 "$pid" 2>/dev/null || fail "the program ended without showing a box"
  sleep 0.3
done
[ -n "$box" ] || fail "no box titled Ravelin appeared within 60 s"
grep -q 'WebView2 Runtime' "$log" || fail "the box does not name the missing WebView2 Runtime"

# The box is modal: the program must still be running until it is answered.
sleep 1
kill -0 "$pid" 2>/dev/null || fail "the program ended before the box was answered"
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

after=$(ls -A "$install")
for file in appsettings.txt status.txt theme.txt; do
  [ -e "$install/$file" ] && fail "$file was written beside the executable"
done
[ "$before" = "$after" ] || fail "files appeared beside the executable: $(comm -13 <(echo "$before") <(echo "$after") | tr '\n' ' ')"
echo "program_test: box shown, answered, exit code 1, nothing written beside the executable"
