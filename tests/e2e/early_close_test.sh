# Closes that come early: the real program's main window closed (as a window manager closes it) one
# second after it appears ends the program with code 0, every time; so does a panel's window.
# The program is started as a user starts it: from the build folder, each start with a home, XDG
# folders, runtime folder and data folder of its own, half of them with no preferences beside the
# executable and half with the last start's.
source "$(dirname "$0")/lib.sh" "$1"
runs=${RAVELIN_EARLY_CLOSE_RUNS:-50}

# What the program keeps beside its executable is the user's: moved aside for the test, put back after.
beside="appsettings.txt theme.txt status.txt playback.txt clickdelay.txt session.mcr"
kept="$RAVELIN_TEST_TMP/kept-beside"
mkdir -p "$kept"
for f in $beside; do [ -e "$build/$f" ] && mv "$build/$f" "$kept/"; done
put_back() {
  for f in $beside; do rm -f "$build/$f"; [ -e "$kept/$f" ] && mv "$kept/$f" "$build/"; done
}
trap put_back EXIT

# Starts the program with "$@" from the build folder, in fresh folders of its own, closes the window
# titled $title $delay s after it appears; fails unless the program then ends with code 0 within 5 s.
start_number=0
close_early() {
  local what=$1; shift
  start_number=$((start_number + 1))
  local own="$RAVELIN_TEST_TMP/start-$start_number"
  mkdir -p "$own/home" "$own/data" "$own/config" "$own/runtime" "$own/localappdata"
  chmod 700 "$own/runtime"
  (cd "$build" && HOME="$own/home" XDG_DATA_HOME="$own/data" XDG_CONFIG_HOME="$own/config" \
    XDG_RUNTIME_DIR="$own/runtime" LOCALAPPDATA="$own/localappdata" exec ./ravelin "$@") \
    >>"$RAVELIN_TEST_TMP/early.log" 2>&1 &
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
  rm -rf "$own"
}

title="Ravelin (Veltra Edition)"
delay=1
for run in $(seq "$runs"); do
  [ $((run % 2)) = 1 ] && for f in $beside; do rm -f "$build/$f"; done
  close_early "main window, run $run"
done
pass "main window closed 1 s after it appeared: ended with code 0 in $runs of $runs runs"
delay=0
for run in 1 2 3; do close_early "main window at once, run $run"; done
pass "main window closed as soon as it appeared: ended with code 0 in 3 of 3 runs"

title="Ravelin (Auto Clicker)"
for delay in 0 1; do
  for run in 1 2; do
    close_early "panel after $delay s, run $run" --child "Auto Clicker|clicker-panel|600|300|dark"
  done
done
pass "panel windows closed at once and 1 s after they appeared: ended with code 0 in 4 of 4 runs"
