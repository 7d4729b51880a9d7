# The end of the user's session on Linux: SIGTERM (the session manager, systemd, kill) and SIGHUP
# (the terminal or the session going away) end the real program the way closing its window does, so
# a change made a moment before is in the session file and the exit code is 0.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
unset LOCALAPPDATA
session="$XDG_DATA_HOME/Tapforge/session.mcr"
title="Ravelin (Veltra Edition)"
send="$build/tests/pipe_send_target"
[ -x "$send" ] || fail "missing $send"
trap cleanup_processes EXIT

# The clicker's milliseconds (the fourth settings field) in the session file.
saved_ms() { sed -n 's/^SETTINGS:\([^,]*,\)\{3\}\([^,]*\),.*/\2/p' "$session" | tr -d '\r'; }

for signal in TERM HUP; do
  ms=$((RANDOM % 900 + 100))
  "$app/ravelin" >"$RAVELIN_TEST_TMP/$signal.log" 2>&1 &
  app_pid=$!
  wait_window "$title" 30 >/dev/null || fail "main window not found"
  for _ in $(seq 300); do [ -f "$session" ] && break; sleep 0.05; done
  [ -f "$session" ] || fail "no session file after the start"
  sleep 0.5
  # The change, then the signal at once: well before the next autosave.
  "$send" "changeSettings|sms=$ms" || fail "the change was not taken"
  sleep 0.2
  kill -"$signal" "$app_pid"
  wait_exit "$app_pid" 15 || fail "still running 15 s after SIG$signal"
  app_pid=""
  [ "$exit_code" = 0 ] || fail "exit code $exit_code after SIG$signal"
  [ "$(saved_ms)" = "$ms" ] || fail "after SIG$signal the session file holds $(saved_ms) ms, not the $ms just set"
  pass "SIG$signal: the change made just before is saved and the program ends with code 0"
done
