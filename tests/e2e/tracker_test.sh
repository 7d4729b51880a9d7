# Macro tracker settings and live figures in the real program: a speed of 2 sent the way a panel
# sends updateTracker makes a recording of keys typed 200 ms apart replay 100 ms apart into the
# focused window; the status text the page and the pipe read carries the clicker's measured rate
# and the player's position; the new settings are in the session file after the program closes.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
mkdir -p "$LOCALAPPDATA"
send="$build/tests/pipe_send_target"
title="Ravelin (Veltra Edition)"
[ -x "$send" ] || fail "missing $send"

tx=1000 ty=100 tw=600 th=500
log="$RAVELIN_TEST_TMP/target.log"
trap cleanup_processes EXIT

"$app/ravelin" >>"$RAVELIN_TEST_TMP/out.log" 2>&1 &
app_pid=$!
app_window=$(wait_window "$title" 30) || fail "main window not found"
start_timeline_target "Tracker E2E Target" $tx $ty $tw $th

lines() { wc -l <"$log"; }
# Waits (up to 10 s) until the target has logged $2 key presses after line $1: under load the last
# press may reach its log a while after xdotool has sent it.
wait_presses() {
  for _ in $(seq 200); do
    [ "$(sed -n "$(($1 + 1)),\$p" "$log" | awk '$2 == "key" && $3 == "press"' | wc -l)" -ge "$2" ] && return 0
    sleep 0.05
  done
  return 1
}
# The times in ms of the key presses in the log after line $1 (up to line $2), from the first.
press_offsets() {
  sed -n "$(($1 + 1)),${2:-\$}p" "$log" | awk '$2 == "key" && $3 == "press" {
    if (!seen) first = $1; seen = 1; printf "%.1f\n", ($1 - first) / 1000 }'
}
# The value of a numeric member of the status text, with its live figures, asked over the pipe as
# the page asks for it (status.txt leaves the figures out).
member() {
  "$send" -r 'getTrackerStatus|' | grep -o "\"$1\":[0-9.]*" | cut -d: -f2
}

# ---- the clicker's measured rate and count in the status text ----
"$send" 'toggleSpammer|' || fail "the main instance took no message"
sleep 2
for _ in $(seq 10); do
  rate=$(member clickRate) clicks=$(member clicks)
  [ "${clicks:-0}" -ge 15 ] && break
  sleep 0.1
done
"$send" 'toggleSpammer|'
awk -v r="$rate" 'BEGIN { exit !(r >= 8 && r <= 10.5) }' || fail "clickRate $rate with a 100 ms interval"
[ "${clicks:-0}" -ge 15 ] || fail "clicks $clicks after 2 s"
stopped=
for _ in $(seq 20); do
  [ "$(member clickRate)" = 0 ] && [ "$(member clicks)" = 0 ] && { stopped=1; break; }
  sleep 0.1
done
[ -n "$stopped" ] || fail "figures stayed after the stop: $("$send" -r 'getTrackerStatus|')"
pass "the status text measures the clicker: $rate clicks/s, $clicks clicks in 2 s"

# ---- record typing 200 ms apart, replay at speed 2 ----
"$send" 'updateTracker|1,1,1,1,0,2,0,500'
xdotool key F8
sleep 0.5
recorded=$(lines)
# xdotool spends about 30 ms on each key of its own: the presses come about 200 ms apart.
xdotool key q sleep 0.17 key w sleep 0.17 key e sleep 0.17 key r sleep 0.17 key t sleep 0.17 key y
wait_presses "$recorded" 6 || fail "the target saw fewer than six typed keys"
sleep 0.1
recorded_end=$(lines)
xdotool key F8
sleep 0.5
replayed=$(lines)
xdotool key F7
# The player's position as the page reads it while the replay runs (about 0.8 s at speed 2).
position=
for _ in $(seq 36); do
  seen="$(member playEvent)/$(member playEvents) pass $(member playPass)"
  case "$seen" in [1-9]/12\ pass\ 1 | 1[0-2]/12\ pass\ 1) position=$seen ;; esac
  sleep 0.05
done
wait_presses "$replayed" 6 || true
original=$(press_offsets "$recorded" "$recorded_end" | tr '\n' ' ')
replay=$(press_offsets "$replayed" | tr '\n' ' ')
[ "$(echo $original | wc -w)" = 6 ] || fail "the target saw other than six typed keys: $original"
[ "$(echo $replay | wc -w)" = 6 ] || fail "the replay sent other than six keys: $replay"
# Each replayed press at half its recorded time from the first (events are scheduled from the start
# of the pass, so one late press does not shift the others), and the gaps about 100 ms on average.
echo "$original" "|" "$replay" | awk '{
  n = (NF - 1) / 2
  for (i = 1; i <= n; i++) {
    e = $(i + n + 1) - $i / 2; if (e < 0) e = -e
    if (e > max) max = e
  }
  recorded = $n / (n - 1); mean = $NF / (n - 1)
  printf "recorded gap %.1f ms, replayed gap %.1f ms, largest offset error %.1f ms\n", recorded, mean, max
  if (recorded < 180 || recorded > 400 || max > 50 || mean < recorded / 2 * 0.9 || mean > recorded / 2 * 1.1) exit 1
}' >"$RAVELIN_TEST_TMP/compare" || fail "recorded at $original, replayed at $replay"
[ -n "$position" ] || fail "the status text never showed the player's position in the first pass"
[ "$seen" = "0/0 pass 0" ] || fail "the player's figures stayed after the replay: $seen"
pass "speed 2 replays keys typed 200 ms apart about 100 ms apart ($(cat "$RAVELIN_TEST_TMP/compare"); status showed event $position)"

# ---- the settings are in the session file after the close ----
"$xwin" close "$app_window"
wait_exit "$app_pid" 10 || fail "still running 10 s after its window was closed"
app_pid=""
line=$(head -n1 "$LOCALAPPDATA/Tapforge/session.mcr" | tr -d '\r')
[ "$(echo "$line" | cut -d, -f12-19)" = "1,1,1,1,0,2,0,500" ] || fail "session settings line $line"
pass "the tracker settings are saved in the session file"
