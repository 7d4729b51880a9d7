# What the program leaves behind on a real X server: a replayed recording that ends with Shift and the
# middle button still held leaves no key or button down once playback ends; a session file naming the
# left button as a hotkey leaves left clicks working; a change made a second before the window closes
# is in the session file afterwards.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
session="$LOCALAPPDATA/Tapforge/session.mcr"
title="Ravelin (Veltra Edition)"
send="$build/tests/pipe_send_target"
[ -x "$send" ] || fail "missing $send"

tx=1000 ty=100 tw=600 th=500
cx=$((tx + tw / 2)) cy=$((ty + th / 2))
log="$RAVELIN_TEST_TMP/target.log"
trap cleanup_processes EXIT

# hkAuto (field 23) is 1, the left button. The recording presses Shift, types a, presses the middle
# button over the target and ends there, as when the record hotkey is pressed with Shift held.
mkdir -p "$LOCALAPPDATA/Tapforge"
printf '%s\r\n' \
  "SETTINGS:0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,1,0,0,0,100,1,10,120,32" \
  "CURRENT:0" "PROFILE:held" \
  "3,0.2,0,0,0,16,1,0" "3,0.4,0,0,0,65,1,0" "3,0.5,0,0,0,65,0,0" "2,0.6,$cx,$cy,32,0,0,0" >"$session"

"$app/ravelin" >>"$RAVELIN_TEST_TMP/out.log" 2>&1 &
app_pid=$!
app_window=$(wait_window "$title" 30) || fail "main window not found"
start_timeline_target "Held State Target" $tx $ty $tw $th

# Left clicks reach the target, and none of them toggles the auto-clicker.
before=$(wc -l <"$log")
for _ in 1 2 3; do xdotool click 1; sleep 0.2; done
sleep 0.6
presses=$(tail -n +"$((before + 1))" "$log" | grep -c "button press 1")
[ "$presses" = 3 ] || fail "3 left clicks with the left button stored as a hotkey reached the target $presses times"
pass "a session file with the left button as a hotkey leaves left clicks working"

# Play (F7) and let the pass end.
[ -z "$("$xwin" held)" ] || fail "something is held before playback: $("$xwin" held)"
before=$(wc -l <"$log")
xdotool key F7
sleep 2
played=$(tail -n +"$((before + 1))" "$log")
echo "$played" | grep -q "key press [0-9]* Shift_L" || fail "the replay did not press Shift: $played"
echo "$played" | grep -q "button press 2" || fail "the replay did not press the middle button: $played"
held=$("$xwin" held)
[ -z "$held" ] || fail "left held after playback: $held"
echo "$played" | grep -q "key release [0-9]* Shift_L" || fail "Shift was not released in the target: $played"
pass "a recording ending with Shift and the middle button held leaves nothing down after playback"

# A change a second before the close is in the file.
"$send" "updateSpammer|0,0,0,777,0,0,1,10,0" || fail "the panel message was not taken"
sleep 1
"$xwin" close "$app_window"
wait_exit "$app_pid" 10 || fail "still running 10 s after its window was closed"
app_pid=""
[ "$exit_code" = 0 ] || fail "exit code $exit_code after closing the window"
settings=$(head -n 1 "$session" | tr -d '\r')
[ "$(echo "$settings" | cut -d, -f4)" = 777 ] || fail "the change made before the close is not saved: $settings"
[ "$(echo "$settings" | cut -d, -f23)" = 117 ] || fail "the refused hotkey was saved back: $settings"
pass "a change made a second before the close is in the session file"
