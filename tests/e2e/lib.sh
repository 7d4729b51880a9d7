# Shared helpers of the end-to-end tests. Sourced with the build folder as $build; runs on the
# private display that tests/support/with_xvfb.sh set up.
set -u
build=$(cd "$1" && pwd)
xwin="$build/tests/xwin"
fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

# A copy of the build folder's install (executable, page, library) in the test's own folder, so a
# test can remove or change files beside the executable.
install_copy() {
  local to="$RAVELIN_TEST_TMP/app"
  mkdir -p "$to/ui"
  cp "$build/ravelin" "$build/libwebview.so.0.12" "$to/"
  cp "$build/ui/index.html" "$to/ui/"
  echo "$to"
}

# For a test that sets `trap cleanup_processes EXIT`: kills the program ($app_pid) and the target
# window ($target_pid), where still set, however the test ends; a test clears each once it has ended
# it itself. It then waits for every child of the test.
app_pid="" target_pid=""
cleanup_processes() {
  [ -n "$target_pid" ] && kill "$target_pid" 2>/dev/null
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  wait 2>/dev/null
}

# Stops the programs whose process ids are given (empty ones are skipped) and waits for each, for a
# test's EXIT trap: trap 'stop_programs $panel $main $manager' EXIT
stop_programs() {
  local p
  for p in "$@"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
}

# Starts a window manager of the test's own (openbox) on the private display and waits until it has
# taken the display; sets $manager, which the caller stops with its other programs.
start_window_manager() {
  openbox >"$RAVELIN_TEST_TMP/openbox.log" 2>&1 &
  manager=$!
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.05
  done
  # It names its check window before it takes on new windows.
  sleep 1
}

# Starts the timeline target (a window that logs one line per event it receives) titled $1 at x, y,
# width, height $2–$5, its log in $log; sets $target_pid and $target_window. The program's window may
# take the focus while it starts up: after a while the target gets the focus and the pointer its centre.
start_timeline_target() {
  [ -x "$build/tests/timeline_target" ] || fail "missing $build/tests/timeline_target"
  "$build/tests/timeline_target" "$1" "$2" "$3" "$4" "$5" >"$log" &
  target_pid=$!
  for _ in $(seq 50); do grep -q ready "$log" && break; sleep 0.1; done
  grep -q ready "$log" || fail "the target window did not come up"
  target_window=$("$xwin" find "$1") || fail "target window not found"
  sleep 2
  xdotool windowfocus "$target_window"
  xdotool mousemove $(($2 + $4 / 2)) $(($3 + $5 / 2))
  sleep 0.3
}

# Waits up to $2 seconds for the window titled $1; prints its id.
wait_window() {
  local title=$1 seconds=${2:-20} id
  for _ in $(seq $((seconds * 10))); do
    if id=$("$xwin" find "$title"); then echo "$id"; return 0; fi
    sleep 0.1
  done
  return 1
}

# Waits up to $2 seconds for process $1 (a child of this shell) to end; sets $exit_code.
wait_exit() {
  local pid=$1 seconds=${2:-10}
  for _ in $(seq $((seconds * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      exit_code=$?
      return 0
    fi
    sleep 0.1
  done
  return 1
}
