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

source "$(dirname "$0")/../support/wine_box.sh"
box_start "$install/Ravelin.exe"
box_wait 'WebView2 Runtime'
# The box is modal: the program must still be running until it is answered.
sleep 1
kill -0 "$pid" 2>/dev/null || fail "the program ended before the box was answered"
box_answer 1

after=$(ls -A "$install")
for file in appsettings.txt status.txt theme.txt; do
  [ -e "$install/$file" ] && fail "$file was written beside the executable"
done
[ "$before" = "$after" ] || fail "files appeared beside the executable: $(comm -13 <(echo "$before") <(echo "$after") | tr '\n' ' ')"
echo "program_test: box shown, answered, exit code 1, nothing written beside the executable"
