# One main instance per user, with the real program under a window manager: a second start brings the
# running one's window to the front (restored if minimized), ends with code 0 and writes nothing; the
# first stays in charge; a panel instance still starts beside it; once the first has ended, a start
# is the main instance again.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/first"
main_title="Ravelin (Veltra Edition)"

manager=
first=
panel=
trap 'stop_programs $panel $first $manager' EXIT

start_window_manager

"$app/ravelin" >"$RAVELIN_TEST_TMP/first.log" 2>&1 &
first=$!
id=$(wait_window "$main_title" 30) || fail "main window not found"
sleep 1

map_state() { xwininfo -id "$1" 2>/dev/null | sed -n 's/.*Map State: *//p'; }
# Minimized by the user; the second start must bring it back and give it the focus.
xdotool windowminimize "$id"
for _ in $(seq 50); do [ "$(map_state "$id")" = IsUnMapped ] && break; sleep 0.1; done
[ "$(map_state "$id")" = IsUnMapped ] || fail "could not minimize the main window"
files_before=$(ls -A "$app")

# The second instance has a data folder of its own: anything it wrote would show there.
LOCALAPPDATA="$RAVELIN_TEST_TMP/second" "$app/ravelin" >"$RAVELIN_TEST_TMP/second.log" 2>&1 &
second=$!
wait_exit "$second" 10 || { kill "$second"; fail "the second instance still runs after 10 s"; }
[ "$exit_code" = 0 ] || fail "the second instance ended with code $exit_code"
[ -e "$RAVELIN_TEST_TMP/second" ] && fail "the second instance made a data folder"
[ "$(ls -A "$app")" = "$files_before" ] || fail "the second instance wrote beside the executable"
for _ in $(seq 30); do [ "$(map_state "$id")" = IsViewable ] && break; sleep 0.1; done
[ "$(map_state "$id")" = IsViewable ] || fail "the main window was not restored"
active=$(xdotool getactivewindow 2>/dev/null)
[ "$active" = "$id" ] || fail "the main window is not the active one (active: $active, main: $id)"
kill -0 "$first" 2>/dev/null || fail "the first instance ended"
pass "second start: main window restored and active, exit code 0, nothing written"

# Panels are not main instances.
"$app/ravelin" "--child" "Auto Clicker|clicker-panel|600|300|dark" >"$RAVELIN_TEST_TMP/panel.log" 2>&1 &
panel=$!
wait_window "Ravelin (Auto Clicker)" 30 >/dev/null || fail "a panel did not start beside the main instance"
kill "$panel"; wait "$panel" 2>/dev/null; panel=
pass "a panel starts beside the main instance"

"$xwin" close "$id"
wait_exit "$first" 10 || fail "the first instance did not end when its window closed"
[ "$exit_code" = 0 ] || fail "the first instance ended with code $exit_code"
first=

# With the first gone, a start is the main instance again.
"$app/ravelin" >"$RAVELIN_TEST_TMP/third.log" 2>&1 &
first=$!
id=$(wait_window "$main_title" 30) || fail "no main window after the first instance ended"
"$xwin" close "$id"
wait_exit "$first" 10 || fail "the new main instance did not end"
first=
pass "after the first ended, a new start is the main instance"
