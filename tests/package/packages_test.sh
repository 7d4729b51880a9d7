#!/usr/bin/env bash
# The release packages as a user gets them: each unpacked into a fresh folder whose path has a space.
# The Linux program starts from there on this (private) display, its window is found by its title
# and closed, and it ends with code 0, using nothing of the build folder. The Windows program runs
# under Wine, which has no WebView2 runtime: it must say so in its box and end with code 1.
# The unpacked Windows folder then runs once more with the page host of the windows build beside it.
#   packages_test.sh DIST XWIN HOST     (run inside tests/support/with_xvfb.sh; HOST: Ravelin-headless.exe)
set -u
dist=$(cd "$1" && pwd) xwin=$2 host=${3:-}
fail() {
  echo "packages_test: $*" >&2
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  [ -f "${log:-}" ] && tail -n 20 "$log" >&2
  exit 1
}
version=$(sed -n 's/^project(Ravelin VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
work=$(mktemp -d "${RAVELIN_TEST_TMP:-${TMPDIR:-/tmp}}/packages.XXXXXX")
trap 'rm -rf "$work"' EXIT

# await_window WHAT: waits up to 30 s for the main window of program $pid and sets $id.
await_window() {
  id=""
  for _ in $(seq 150); do
    id=$(xdotool search --name '^Ravelin \(Veltra Edition\)$' 2>/dev/null | head -n1)
    [ -n "$id" ] && return 0
    kill -0 "$pid" 2>/dev/null || fail "$1 ended without a window"
    sleep 0.2
  done
  fail "$1 showed no window titled 'Ravelin (Veltra Edition)' within 30 s"
}

# await_exit WHAT SECONDS: waits that long for program $pid, closed once, to end with code 0.
await_exit() {
  local code
  for _ in $(seq $(($2 * 10))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "$1 did not end within $2 s of being closed once"
  wait "$pid"
  code=$?
  pid=""
  [ "$code" -eq 0 ] || fail "$1 ended with code $code"
}

# Linux
place="$work/un packed linux"
mkdir -p "$place"
tar -C "$place" -xzf "$dist/ravelin-$version-linux-x86_64.tar.gz" || fail "the tarball does not unpack"
app="$place/ravelin-$version"
for f in ravelin ravelin-cli libwebview.so.0.12 ui/index.html ravelin.desktop ravelin.png INSTALL.txt; do
  [ -e "$app/$f" ] || fail "the Linux package lacks $f"
done
[ -f "$dist/ravelin-$version.debug" ] || fail "no debug file beside the Linux package"
readelf -S "$app/ravelin" | grep -q '\.debug_info' && fail "the Linux program still carries debug information"
[ "$(env -u LD_LIBRARY_PATH "$app/ravelin" --version)" = "Ravelin $version" ] || fail "--version is not Ravelin $version"
log="$work/linux.log"
(cd "$work" && env -u LD_LIBRARY_PATH "$app/ravelin" >"$log" 2>&1) &
pid=$!
await_window "the Linux program"
program=$(pgrep -P "$pid" -x ravelin || echo "$pid")
grep -q "$app/libwebview.so.0.12" "/proc/$program/maps" || fail "the webview library was not loaded from the package"
grep -q "/build/" "/proc/$program/maps" && fail "the program loaded something from a build folder"
sleep 2
status=$(env -u LD_LIBRARY_PATH "$app/ravelin-cli" status) || fail "ravelin-cli status failed against the Linux program"
[ "$(jq -r .tracker <<<"$status")" = Idle ] || fail "ravelin-cli status said: $status"
"$xwin" close "$id" 2>/dev/null
await_exit "the Linux program" 5

# Windows
place="$work/un packed windows"
mkdir -p "$place"
(cd "$place" && python3 -m zipfile -e "$dist/Ravelin-$version-windows-x64.zip" .) || fail "the zip does not unpack"
app="$place/Ravelin-$version"
for f in Ravelin.exe ravelin-cli.exe webview.dll ui/index.html README.txt; do
  [ -e "$app/$f" ] || fail "the Windows package lacks $f"
done
[ -f "$dist/Ravelin-$version.exe.debug" ] || fail "no debug file beside the Windows package"
x86_64-w64-mingw32-objdump -h "$app/Ravelin.exe" | grep -q '\.debug_info' && fail "Ravelin.exe still carries debug information"
strings -el "$app/Ravelin.exe" | grep -qx "$version" || fail "Ravelin.exe's version resource lacks $version"
[ -n "${WINEPREFIX:-}" ] || fail "WINEPREFIX is not set (the caller's temporary prefix)"
log="$work/wine.log"
source "$(dirname "$0")/../support/wine_box.sh"
box_start "$app/Ravelin.exe" "mscoree,mshtml="
box_wait 'WebView2 Runtime'
box_answer 1

# The unpacked folder once more under the page host (Ravelin-headless.exe, built from the same sources
# with a plain window in place of WebView2, which Wine lacks): the program starts there with the
# package's files, answers the page's calls (the package's version) and one close ends it with code 0.
[ -f "$host" ] || fail "no page host to run the Windows package with (Ravelin-headless.exe of the windows build)"
cp "$host" "$app/"
coproc HOST { exec env WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" wine "$app/Ravelin-headless.exe" 2>"$work/host.err"; }
pid=$HOST_PID
exec {host_in}>&"${HOST[1]}" {host_out}<&"${HOST[0]}"
await_window "the page host"
printf 'getVersion []\n' >&"$host_in"
IFS= read -r -t 30 reply <&"$host_out" || fail "the page host did not answer getVersion"
# Each answer is a JSON string holding what the call returned, here itself a JSON string.
result=$(jq -rj . <<<"${reply%$'\r'}") || fail "getVersion answered no JSON string: $reply"
[ "$result" = "\"$version\"" ] || fail "getVersion answered $result, expected \"$version\""
# The package's command line (a console program) reaches it over the pipe.
said=$(WINEDLLOVERRIDES="mscoree,mshtml=" wine "$app/ravelin-cli.exe" version 2>/dev/null | tr -d '\r')
grep -qx "Ravelin $version is running" <<<"$said" || fail "ravelin-cli.exe version said: $said"
printf 'close\n' >&"$host_in"
exec {host_in}>&-
await_exit "the page host" 10
echo "packages_test: both packages pass"
