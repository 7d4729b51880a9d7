# The real program killed by a fatal signal, as a crash would end it: it saves the session and is
# gone within two seconds, by that signal, leaving a whole session file.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
mkdir -p "$LOCALAPPDATA"
session="$LOCALAPPDATA/Tapforge/session.mcr"
title="Ravelin (Veltra Edition)"

for signal in SEGV ABRT; do
  rm -f "$session"
  "$app/ravelin" >"$RAVELIN_TEST_TMP/crash-$signal.log" 2>&1 &
  pid=$!
  wait_window "$title" 30 >/dev/null || fail "main window not found"
  sleep 2  # the page has loaded: the signal lands on an idle program, as a crash of a worker would
  [ -e "$session" ] && fail "a session file before the first autosave (the test needs none)"
  start=$(date +%s%N)
  kill -"$signal" "$pid"
  for _ in $(seq 250); do kill -0 "$pid" 2>/dev/null || break; sleep 0.02; done
  ms=$((($(date +%s%N) - start) / 1000000))
  wait_exit "$pid" 5 || { kill -KILL "$pid"; fail "still running 5 s after SIG$signal"; }
  [ "$ms" -le 2000 ] || fail "SIG$signal: ended after $ms ms"
  [ "$exit_code" = $((128 + $(kill -l "$signal"))) ] || fail "SIG$signal: exit code $exit_code"
  [ -f "$session" ] || fail "SIG$signal: the session was not saved"
  rm -f "$session.tmp"  # what a save cut short leaves
  head -n 1 "$session" | grep -q '^SETTINGS:' || fail "SIG$signal: the saved file does not start with its settings"
  grep -q '^PROFILE:Default Tracking Profile' "$session" || fail "SIG$signal: the saved file lacks its profile"
  pass "SIG$signal: saved and ended in $ms ms by the signal"
done
