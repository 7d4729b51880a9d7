# ravelin-cli with no running instance: a command that needs one starts the program beside it with
# its window minimized, waits for it and is carried out; the output of the client does not wait for
# the program (it holds none of the client's files open); a second command reaches the same
# instance, never a second one. Without a program beside it, or one that cannot start, the exit
# code is 3.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
cp "$build/ravelin-cli" "$app/" || fail "missing $build/ravelin-cli"
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
mkdir -p "$LOCALAPPDATA"
title="Ravelin (Veltra Edition)"
manager=
# The program the client started is no child of the test: found by its path in the test's folder.
started_programs() { pgrep -f "^$app/ravelin( --minimized)?\$"; }
trap 'stop_programs $(started_programs) $manager' EXIT

start_window_manager

# $( ) returns only once every holder of the client's output has closed it.
started=$(date +%s%N)
out=$(timeout 20 "$app/ravelin-cli" start keyspam 2>"$RAVELIN_TEST_TMP/err")
code=$?
took=$((($(date +%s%N) - started) / 1000000))
[ "$code" = 0 ] || fail "start keyspam with no instance ended with $code: $out $(cat "$RAVELIN_TEST_TMP/err")"
[ "$out" = "Started the key spammer." ] || fail "start keyspam said: $out"
[ "$took" -lt 12000 ] || fail "the client took $took ms"
id=$(wait_window "$title" 10) || fail "no main window after the command"
map_state() { xwininfo -id "$1" 2>/dev/null | sed -n 's/.*Map State: *//p'; }
for _ in $(seq 30); do [ "$(map_state "$id")" = IsUnMapped ] && break; sleep 0.1; done
[ "$(map_state "$id")" = IsUnMapped ] || fail "the started program's window is not minimized ($(map_state "$id"))"
pass "started minimized and carried out in $took ms"

"$app/ravelin-cli" stop keyspam >/dev/null || fail "stop keyspam failed"
out=$("$app/ravelin-cli" start clicker) || fail "a second command failed"
"$app/ravelin-cli" stop all >/dev/null
count=$(started_programs | wc -l)
[ "$count" = 1 ] || fail "$count main programs run"
[ "$(xdotool search --name '^Ravelin \(Veltra Edition\)$' 2>/dev/null | wc -l)" = 1 ] || fail "more than one main window"
pass "a second command reaches the same instance"

"$xwin" close "$id"
for _ in $(seq 100); do [ -z "$(started_programs)" ] && break; sleep 0.1; done
[ -z "$(started_programs)" ] || fail "the program did not end when its window closed"
pass "closed"

# A client alone in its folder: nothing to start.
alone="$RAVELIN_TEST_TMP/alone"
mkdir -p "$alone"
cp "$build/ravelin-cli" "$alone/"
"$alone/ravelin-cli" start clicker 2>"$RAVELIN_TEST_TMP/err"
code=$?
[ "$code" = 3 ] || fail "start clicker with nothing to start ended with $code"
grep -q "could not be started" "$RAVELIN_TEST_TMP/err" || fail "said: $(cat "$RAVELIN_TEST_TMP/err")"
# A program that starts but never answers (it ends at once): 3 after the 10 s wait.
printf '#!/bin/sh\nexit 1\n' >"$alone/ravelin"
chmod +x "$alone/ravelin"
"$alone/ravelin-cli" toggle record 2>"$RAVELIN_TEST_TMP/err"
code=$?
[ "$code" = 3 ] || fail "with a program that never answers: $code"
grep -q "did not take commands within 10 seconds" "$RAVELIN_TEST_TMP/err" || fail "said: $(cat "$RAVELIN_TEST_TMP/err")"
pass "nothing to start, or a program that never answers: exit code 3"
