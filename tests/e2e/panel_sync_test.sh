# A panel window in step with the main instance, with the real program on a private display: the
# clicker settings change while a panel is open (to another profile's, as a profile switch in the main
# window or another panel changes them), and the panel's next edit, typed into it with the keyboard,
# changes only the field the user edited (the autosave shows the settings in use).
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
data="$LOCALAPPDATA/Tapforge"
session="$data/session.mcr"
mkdir -p "$data"
main_title="Ravelin (Veltra Edition)"
panel_title="Ravelin (Auto Clicker)"

main=
panel=
trap 'stop_programs $panel $main' EXIT

crlf() { printf '%s\r\n' "$@"; }
# Two profiles: alpha (current) clicks every 1 s 100 ms with the left button; beta every 7 s 900 ms
# with the right button, 5 times.
alpha=0,0,1,100,0,0,1,10,0,0,0,0,0,0,100,1,10,32
beta=0,0,7,900,1,0,0,5,0,0,0,0,0,3,400,1,10,32
crlf "SETTINGS:0,0,1,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,100,1,10,120,32" \
  "CURRENT:0" "PROFILE:alpha" "PROFILESETTINGS:$alpha" "PROFILE:beta" "PROFILESETTINGS:$beta" >"$session"

"$app/ravelin" >"$RAVELIN_TEST_TMP/main.log" 2>&1 &
main=$!
main_id=$(wait_window "$main_title" 30) || fail "main window not found"
# The panel as openPanel starts it: the settings in use ride on its command line.
"$app/ravelin" --child "Auto Clicker|clicker-panel|800|300|modern-blue|$alpha" >"$RAVELIN_TEST_TMP/panel.log" 2>&1 &
panel=$!
panel_id=$(wait_window "$panel_title" 30) || fail "panel window not found"
send="$build/tests/pipe_send_target"
# The clicker group of the settings line in the autosave: sh sm ss sms sbtn stype rptMode rptTimes locMode.
clicker_saved() { head -n1 "$session" 2>/dev/null | tr -d '\r' | sed 's/^SETTINGS://' | cut -d, -f1-9; }
wait_saved() {
  for _ in $(seq 150); do [ "$(clicker_saved)" = "$1" ] && return 0; sleep 0.1; done
  return 1
}
sleep 2  # the panel's page has loaded and read the settings once

# ---- the settings change elsewhere while the panel is open: beta's clicker settings ------------
# (as the main window's profile switch or another panel sets them)
"$send" 'updateSpammer|0,0,7,900,1,0,0,5,0' || fail "the main instance took no message"
wait_saved 0,0,7,900,1,0,0,5,0 || fail "the autosave does not hold the new settings: $(clicker_saved)"
sleep 1  # more than two of the panel's polls

# ---- the user sets the milliseconds in the panel: Tab to the field, type, leave it --------------
xdotool windowfocus "$panel_id"
sleep 0.3
# The panel's header button, then hours, minutes, seconds, milliseconds.
xdotool key --delay 80 Tab Tab Tab Tab Tab
xdotool type --delay 80 250
xdotool key Tab
wait_saved 0,0,7,250,1,0,0,5,0 ||
  fail "after the panel's edit the settings in use are $(clicker_saved), not 0,0,7,250,1,0,0,5,0"
pass "an edit in the panel changed only the milliseconds: $(clicker_saved)"
