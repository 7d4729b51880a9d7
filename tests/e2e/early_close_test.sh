# Closes that come early: the real program's main window closed (as a window manager closes it) one
# second after it appears ends the program with code 0, every time; so does a panel's window.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
mkdir -p "$LOCALAPPDATA"
runs=${RAVELIN_EARLY_CLOSE_RUNS:-50}

# Starts "$@", closes the window titled $title $delay s after it appears; fails unless the program
# then ends with code 0 within 5 s.
close_early() {
  local what=$1; shift
  "$@" >>"$RAVELIN_TEST_TMP/early.log" 2>&1 &
  local pid=$!
  local id
  id=$(wait_window "$title" 30) || { kill "$pid"; fail "$what: no window"; }
  sleep "$delay"
  "$xwin" close "$id"
  if ! wait_exit "$pid" 5; then
    kill -KILL "$pid"; wait "$pid" 2>/dev/null
    fail "$what: still running 5 s after its window was closed $delay s after it appeared"
  fi
  [ "$exit_code" = 0 ] || fail "$what: exit code $exit_code"
}

title="Ravelin (Veltra Edition)"
delay=1
for run in $(seq "$runs"); do close_early "main window, run $run" "$app/ravelin"; done
pass "main window closed 1 s after it appeared: ended with code 0 in $runs of $runs runs"
delay=0
for run in 1 2 3; do close_early "main window at once, run $run" "$app/ravelin"; done
pass "main window closed as soon as it appeared: ended with code 0 in 3 of 3 runs"

title="Ravelin (Auto Clicker)"
for delay in 0 1; do
  for run in 1 2; do
    close_early "panel after $delay s, run $run" "$app/ravelin" --child "Auto Clicker|clicker-panel|600|300|dark"
  done
done
pass "panel windows closed at once and 1 s after they appeared: ended with code 0 in 4 of 4 runs"
