# Hold-to-run and the fail-safe on a real X server. With every hotkey in hold activation, the clicker,
# the key spammer and a looping playback each run while their hotkey is held and stop at its release,
# leaving nothing pressed; then, with the clicker toggled on, the pointer pushed into the top-left
# corner stops it within a second; last, the second profile's hotkey switches to it.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
session="$LOCALAPPDATA/Tapforge/session.mcr"
title="Ravelin (Veltra Edition)"
send="$build/tests/pipe_send_target"
[ -x "$send" ] || fail "missing $send"
log="$RAVELIN_TEST_TMP/target.log"
tx=1000 ty=100 tw=600 th=500
trap cleanup_processes EXIT

# Looping playback with 100 ms between passes, B as the key to spam; the recording types A.
mkdir -p "$LOCALAPPDATA/Tapforge"
printf '%s\r\n' \
  "SETTINGS:0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,1,100,119,118,0,117,0,0,0,100,1,10,120,66" \
  "CURRENT:0" "PROFILE:modes" "3,0.05,0,0,0,65,1,0" "3,0.1,0,0,0,65,0,0" "PROFILE:second" >"$session"
printf '%s\n' clickActivation=1 keySpamActivation=1 playActivation=1 hkProfile2=50 >"$app/appsettings.txt"
cp "$build/ravelin-cli" "$app/" || fail "missing $build/ravelin-cli"

"$app/ravelin" >>"$RAVELIN_TEST_TMP/out.log" 2>&1 &
app_pid=$!
wait_window "$title" 30 >/dev/null || fail "main window not found"
start_timeline_target "Clicking Modes Target" $tx $ty $tw $th
read -r gx gy gw gh < <("$xwin" geometry "$target_window")
xdotool mousemove $((gx + gw / 2)) $((gy + gh / 2))
sleep 0.5

count() { tail -n +"$((before + 1))" "$log" | grep -c "$1"; }
# Holds `key` for 1.2 s: what `pattern` matches comes at least `least` times while it is held and
# never in the second after the release.
hold() {
  local key=$1 pattern=$2 least=$3 what=$4
  before=$(wc -l <"$log")
  xdotool keydown "$key"
  sleep 1.2
  xdotool keyup "$key"
  sleep 0.3
  local held_count
  held_count=$(count "$pattern")
  [ "$held_count" -ge "$least" ] || fail "$what: $held_count while $key was held"
  sleep 1
  [ "$(count "$pattern")" = "$held_count" ] || fail "$what went on after $key was let go"
  [ -z "$("$xwin" held)" ] || fail "$what left something held: $("$xwin" held)"
  pass "$what runs while $key is held ($held_count) and stops at its release"
}
hold F6 "button press 1" 6 "the clicker"
hold F9 "key press [0-9]* b" 6 "the key spammer"
hold F7 "key press [0-9]* a" 3 "looping playback"

running() { grep -q '"autoClicking":true' "$app/status.txt" 2>/dev/null; }
"$send" "changeSettings|clickActivation=0" || fail "the panel message was not taken"
sleep 0.3
xdotool key F6
for _ in $(seq 30); do running && break; sleep 0.1; done
running || fail "F6 in toggle activation did not start the clicker"
# As a mouse pushed up and left does: relative motion (the X server reports no raw motion for an
# absolute XTEST move).
xdotool mousemove_relative -- -3000 -3000
for _ in $(seq 20); do running || break; sleep 0.1; done
running && fail "the clicker still runs 2 s after the pointer went into the corner"
pass "the pointer pushed into the top-left corner stopped the clicker"

profile() { "$app/ravelin-cli" status | jq -r .profile; }
[ "$(profile)" = modes ] || fail "the first profile is not current: $(profile)"
xdotool key 2
for _ in $(seq 20); do [ "$(profile)" = second ] && break; sleep 0.1; done
[ "$(profile)" = second ] || fail "the second profile's hotkey (2) did not switch to it: $(profile)"
pass "the second profile's hotkey switched to it"
