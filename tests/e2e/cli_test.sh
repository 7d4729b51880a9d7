# ravelin-cli against the real program: each group of commands (switches, play, profile, set, status,
# version) and bad input, with what each prints and its exit code; a refused command changes nothing.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
cp "$build/ravelin-cli" "$app/" || fail "missing $build/ravelin-cli"
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
mkdir -p "$LOCALAPPDATA/Tapforge/macros"
title="Ravelin (Veltra Edition)"
trap cleanup_processes EXIT

"$app/ravelin" >>"$RAVELIN_TEST_TMP/out.log" 2>&1 &
app_pid=$!
wait_window "$title" 30 >/dev/null || fail "main window not found"

# cli EXPECTED-CODE ARGS...: runs it, sets $out and $err, fails on another exit code.
cli() {
  local expected=$1 code
  shift
  out=$("$app/ravelin-cli" "$@" 2>"$RAVELIN_TEST_TMP/err")
  code=$?
  err=$(cat "$RAVELIN_TEST_TMP/err")
  [ "$code" = "$expected" ] || fail "ravelin-cli $* ended with $code, not $expected (out: $out; err: $err)"
}
status() { cli 0 status; jq -r "$1" <<<"$out"; }

# ---- switches ----
cli 0 start clicker
[ "$out" = "Started the auto-clicker." ] || fail "start clicker said: $out"
[ "$(status .clicker.running)" = true ] || fail "the status does not show the clicker running: $out"
cli 0 start clicker
[ "$(status .clicker.running)" = true ] || fail "a second start stopped the clicker"
cli 0 toggle keyspam
[ "$(status '.keyspam.running and .clicker.running')" = true ] || fail "toggle keyspam: $out"
sleep 0.5
[ "$(status '.clicker.clicks > 0')" = true ] || fail "no clicks counted while the clicker ran: $out"
cli 0 stop all
[ "$(status '.clicker.running or .keyspam.running')" = false ] || fail "stop all left something running: $out"
cli 1 start play
[ "$err" = "The current profile has no recording to play." ] || fail "start play without a recording: $err"
pass "start, toggle, stop all; figures in the status; a refused start"

# ---- play a macro of the library, and a macro file ----
printf 'Ravelin macro 1\n0 move 300 300\n50 move 310 300\n50 move 320 300\n' >"$LOCALAPPDATA/Tapforge/macros/Nudge.rvm"
cli 0 play Nudge --speed 2 --passes 2
[ "$out" = 'Playing "Nudge" (3 steps).' ] || fail "play Nudge said: $out"
[ "$(status '.record.steps')" = 3 ] || fail "the macro is not the profile's recording: $out"
played_out() {
  for _ in $(seq 50); do [ "$(status .play.running)" = false ] && return 0; sleep 0.1; done
  fail "a short macro still plays after 5 s: $out"
}
played_out
[ "$(status '.play.speed')" = 2 ] || fail "the speed was not set: $out"
mkdir -p "$RAVELIN_TEST_TMP/files"
printf 'Ravelin macro 1\n0 move 200 200\n' >"$RAVELIN_TEST_TMP/files/one.rvm"
(cd "$RAVELIN_TEST_TMP/files" && "$app/ravelin-cli" play one.rvm >"$RAVELIN_TEST_TMP/file.out") ||
  fail "play one.rvm from its folder failed: $(cat "$RAVELIN_TEST_TMP/file.out")"
[ "$(cat "$RAVELIN_TEST_TMP/file.out")" = "Playing $RAVELIN_TEST_TMP/files/one.rvm (1 step)." ] ||
  fail "play one.rvm said: $(cat "$RAVELIN_TEST_TMP/file.out")"
played_out
printf 'Ravelin macro 1\n0 jump 1 2\n' >"$RAVELIN_TEST_TMP/files/bad.rvm"
cli 1 play "$RAVELIN_TEST_TMP/files/bad.rvm"
grep -q "line 2" <<<"$err" || fail "a broken file's problems were not told: $err"
cli 1 play Missing
[ "$(status '.record.steps')" = 1 ] || fail "a refused play changed the recording: $out"
pass "library macro with speed and passes, a relative file, a broken file and a missing macro refused"

# ---- profiles and settings ----
cli 1 profile Nobody
grep -q 'No profile named "Nobody"' <<<"$err" || fail "profile Nobody: $err"
cli 0 set sms=250 ksms=40
cli 1 set sms=300 nope=1
cli 1 set ss=100000
grep -q "ss takes a whole number from 0 to 99999" <<<"$err" || fail "set ss=100000: $err"
cli 2 set sms
before=$(status .profile)
[ "$before" = "Default Tracking Profile" ] || fail "the current profile is $before"
cli 0 profile "default tracking PROFILE"
# The settings as a panel reads them (getSettings on the same socket): the refused sets left nothing.
settings=$(python3 -c '
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
s.connect(sys.argv[1]); s.send(b"getSettings|"); print(s.recv(4096).decode())' "$XDG_RUNTIME_DIR/TapmillIPC") ||
  fail "getSettings over the socket failed"
[ "$(jq -r '[.sms, .ksms, .ss] | map(tostring) | join(",")' <<<"$settings")" = "250,40,0" ] ||
  fail "settings after the sets: $settings"
pass "profile found ignoring case, unknown refused; set all or none"

# ---- version and bad usage ----
cli 0 version
grep -q "^ravelin-cli " <<<"$out" && grep -q "is running" <<<"$out" || fail "version said: $out"
cli 2 dance
grep -q "Unknown command" <<<"$err" || fail "dance: $err"
cli 2
cli 0 --help
grep -q "ravelin-cli play" <<<"$out" || fail "--help lacks play"
pass "version, bad usage, help"

"$xwin" close "$("$xwin" find "$title")"
wait_exit "$app_pid" 15 || fail "the program did not end"
app_pid=
[ "$exit_code" = 0 ] || fail "the program ended with $exit_code"
cli 3 status
cli 0 stop all
[ -z "$("$xwin" find "$title" 2>/dev/null)" ] || fail "stop all started the program"
pass "closed: status finds no instance (3), stop has nothing to stop (0) and starts none"
