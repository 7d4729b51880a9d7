#!/usr/bin/env bash
# ravelin-cli.exe under Wine against the Windows program run as the page host (Ravelin-headless.exe,
# the same program with a plain window, since Wine has no WebView2): every group of commands over the
# session's named pipe, with its exit code; then, with the program closed, status (3), stop (0) and a
# start with no Ravelin.exe beside the client (3).
if [ -z "${RAVELIN_WINE_DESKTOP_HELD:-}" ]; then
  RAVELIN_WINE_DESKTOP_HELD=1 exec flock "$1/wine-desktop.lock" bash "$0" "$@"
fi
set -u
build=$1
work=$(mktemp -d "${RAVELIN_TEST_TMP:-${TMPDIR:-/tmp}}/cli.XXXXXX")
host_pid=""
fail() {
  echo "cli_test: $*" >&2
  [ -s "$work/host.err" ] && tail -n 20 "$work/host.err" >&2
  exit 1
}
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
  wait 2>/dev/null
  [ -n "${data:-}" ] && rm -rf "$data"
  rm -rf "$work"
}
trap cleanup EXIT
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winedbg.exe=d"

app=$work/app
mkdir -p "$app"
cp "$build/Ravelin-headless.exe" "$build/ravelin-cli.exe" "$app/" || fail "build output missing"
cp -r "$build/ui" "$app/" || fail "no ui folder"
local_app_data=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
data=$(winepath -u "$local_app_data" 2>/dev/null)/Tapforge
[ -n "$local_app_data" ] || fail "the Wine prefix names no LOCALAPPDATA"
rm -rf "$data"

coproc HOST { exec wine "$app/Ravelin-headless.exe" 2>>"$work/host.err"; }
host_pid=$HOST_PID
exec {host_in}>&"${HOST[1]}" {host_out}<&"${HOST[0]}"
eval "exec ${HOST[1]}>&- ${HOST[0]}<&-"
call() {
  printf '%s %s\n' "$1" "${2:-[]}" >&"$host_in" || fail "the host no longer takes calls"
  IFS= read -r -t 30 reply <&"$host_out" || fail "no answer to $1"
}
call getVersion  # the host is up and serving once it answers

# cli EXPECTED-CODE ARGS...: sets $out and $err (CR LF read as LF).
cli() {
  local expected=$1
  shift
  out=$(wine "$app/ravelin-cli.exe" "$@" 2>"$work/err" | tr -d '\r'; exit "${PIPESTATUS[0]}")
  code=$?
  err=$(tr -d '\r' <"$work/err")
  [[ " $expected " == *" $code "* ]] || fail "ravelin-cli.exe $* ended with $code, not $expected (out: $out; err: $err)"
}
status_is() { cli 0 status; [ "$(jq -r "$1" <<<"$out")" = true ] || fail "status: $1 is not so in $out"; }

cli 0 start clicker
[ "$out" = "Started the auto-clicker." ] || fail "start clicker said: $out"
status_is .clicker.running
cli 0 toggle keyspam
status_is '.keyspam.running'
cli 0 stop all
status_is '(.clicker.running or .keyspam.running) | not'
cli 1 start play
echo "cli_test: switches over the pipe"

mkdir -p "$data/macros"
printf 'Ravelin macro 1\r\n0 move 300 300\r\n50 move 310 300\r\n' >"$data/macros/Nudge.rvm"
cli 0 play Nudge --passes 1
[ "$out" = 'Playing "Nudge" (2 steps).' ] || fail "play Nudge said: $out"
cli 1 play Missing
status_is '.record.steps == 2'
echo "cli_test: a macro of the library played; a missing one refused"

cli 0 set sms=250 ksms=40
cli 1 set sms=300 nope=1
call getSettings
[ "$(jq -rj . <<<"${reply%$'\r'}" | jq -r '.sms')" = 250 ] || fail "settings after the sets: $reply"
cli 1 profile Nobody
cli 0 profile "default tracking profile"
call addProfile '["Zweites Profil"]'
cli 0 profile "Default Tracking Profile"
status_is '.profileIndex == 0'
cli 0 profile "Zweites Profil"
status_is '.profile == "Zweites Profil"'
echo "cli_test: settings all or none; profiles by name"

cli 0 version
grep -q "is running" <<<"$out" || fail "version said: $out"
cli 2 dance
cli 2 play x --speed 50
echo "cli_test: version and bad usage"

printf 'close\n' >&"$host_in"
exec {host_in}>&-
for _ in $(seq 200); do kill -0 "$host_pid" 2>/dev/null || break; sleep 0.1; done
wait "$host_pid" 2>/dev/null
host_pid=""
cli 3 status
cli 0 stop all
# No Ravelin.exe beside the client: nothing to start.
cli 3 start clicker
grep -q "could not be started" <<<"$err" || fail "start with nothing to start said: $err"
echo "cli_test: no running instance: status 3, stop 0, start with nothing to start 3"

# Ravelin.exe beside the client: started through the shell. Under Wine it cannot open its window (no
# WebView2), so it says so in a box; its pipe serves only for the moment before that: a request it took
# then goes unanswered (3), or, when it came first, is answered (0).
cp "$build/Ravelin.exe" "$build/webview.dll" "$app/" || fail "no Ravelin.exe"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;mscoree,mshtml=" cli "0 3" start clicker
[ "$code" = 0 ] || grep -q "did not take commands within 10 seconds\|did not answer within 5 seconds" <<<"$err" ||
  fail "start with a program that cannot serve said: $err"
box=""
for _ in $(seq 100); do
  box=$(xdotool search --name '^Ravelin$' 2>/dev/null | head -n 1)
  [ -n "$box" ] && break
  sleep 0.2
done
[ -n "$box" ] || fail "Ravelin.exe did not come up (no box of its own)"
xdotool key --window "$box" Return 2>/dev/null
for _ in $(seq 50); do xdotool search --name '^Ravelin$' >/dev/null 2>&1 || break; sleep 0.2; done
xdotool search --name '^Ravelin$' >/dev/null 2>&1 && { xdotool windowfocus "$box" key Return 2>/dev/null; sleep 2; }
echo "cli_test: Ravelin.exe started through the shell; one that never answers: 3"
