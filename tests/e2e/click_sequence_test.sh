# A click sequence of three points on a real X server, through the page host's calls: the points are
# picked on screen with three real clicks (which the target window never gets) and Escape, edited by
# name over the panels' pipe (the second a right click, the third a double click), then the sequence
# runs once; the target window gets the clicks on the three points, in order, with their buttons, and
# nothing stays held.
source "$(dirname "$0")/lib.sh" "$1"
host="$build/ravelin-headless"
[ -x "$host" ] || fail "missing $host"
app="$RAVELIN_TEST_TMP/app"
mkdir -p "$app"
cp "$host" "$app/" && cp -r "$build/ui" "$app/" || fail "no ui folder in the build"
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
mkdir -p "$LOCALAPPDATA"
log="$RAVELIN_TEST_TMP/target.log"
err="$RAVELIN_TEST_TMP/host.err"
tx=900 ty=150 tw=600 th=500
trap cleanup_processes EXIT

coproc HOST { exec "$app/ravelin-headless" 2>>"$err"; }
app_pid=$HOST_PID
exec {host_in}>&"${HOST[1]}" {host_out}<&"${HOST[0]}"
eval "exec ${HOST[1]}>&- ${HOST[0]}<&-"
wait_window "Ravelin (Veltra Edition)" 30 >/dev/null || fail "main window not found"

# call NAME [JSON-ARRAY]: sets $result to the text the function returned.
call() {
  local reply
  printf '%s %s\n' "$1" "${2:-[]}" >&"$host_in" || fail "the program no longer takes calls ($1)"
  IFS= read -r -t 30 reply <&"$host_out" || fail "no answer to $1 ${2:-[]}"
  reply=${reply%$'\r'}
  result=$(jq -rj . <<<"$reply") || fail "$1 answered no JSON string: $reply"
}
# The sequence in use ($seq), as getSettings gives it.
read_sequence() { call getSettings; seq=$(jq -r .clickSequence <<<"$result"); }

start_timeline_target "Sequence Target" $tx $ty $tw $th
read -r gx gy gw gh < <("$xwin" geometry "$target_window")
px=($((gx + 100)) $((gx + gw - 120)) $((gx + gw / 2)))
py=($((gy + 80)) $((gy + 140)) $((gy + gh - 90)))

# ---- picking: three clicks on screen, then Escape -------------------------------------------------
call pickSequence '["1"]'
sleep 0.5
before=$(wc -l <"$log")
for i in 0 1 2; do
  xdotool mousemove "${px[$i]}" "${py[$i]}" click 1
  sleep 0.3
done
xdotool key Escape
sleep 0.5
want="${px[0]}:${py[0]}:0:0:100/${px[1]}:${py[1]}:0:0:100/${px[2]}:${py[2]}:0:0:100"
read_sequence
[ "$seq" = "$want" ] || fail "the picked sequence is $seq, not $want"
call getTrackerStatus
[ "$(jq -r .pickingSequence <<<"$result")" = false ] || fail "Escape did not end the picking"
call getSettings
[ "$(jq -r .locMode <<<"$result")" = 2 ] || fail "picking did not choose the sequence"
presses=$(tail -n +"$((before + 1))" "$log" | grep -c "button press")
[ "$presses" = 0 ] || fail "the target window got $presses of the picking clicks"
pass "three points picked on screen, one after another, and Escape ended the picking"

# ---- editing by name over the panels' pipe, and a run of one round ---------------------------------
send="$build/tests/pipe_send_target"
[ -x "$send" ] || fail "missing $send"
edited="${px[0]}:${py[0]}:0:0:150/${px[1]}:${py[1]}:1:0:150/${px[2]}:${py[2]}:0:1:0"
"$send" "changeSettings|clickSequence=$edited" || fail "the panel message was not taken"
sleep 0.3
read_sequence
[ "$seq" = "$edited" ] || fail "changeSettings over the pipe did not set the sequence: $seq"
call updateSpammer '[0,0,0,100,0,0,0,1,2]'  # the interval, left single, a limit of one round
xdotool mousemove $((gx + 10)) $((gy + gh - 10))
sleep 0.3
before=$(wc -l <"$log")
call toggleSpammer
for _ in $(seq 50); do
  call getTrackerStatus
  [ "$(jq -r .autoClicking <<<"$result")" = false ] && break
  sleep 0.1
done
[ "$(jq -r .autoClicking <<<"$result")" = false ] || fail "one round did not end by itself"
sleep 0.3

# Each press, as "BUTTON X Y" with the pointer's place from the motion before it.
clicks=$(tail -n +"$((before + 1))" "$log" | awk '
  $2 == "motion" { x = $3; y = $4 }
  $2 == "button" && $3 == "press" { print $4, x, y }')
expected=$(printf '%s\n' "1 ${px[0]} ${py[0]}" "3 ${px[1]} ${py[1]}" "1 ${px[2]} ${py[2]}" "1 ${px[2]} ${py[2]}")
[ "$clicks" = "$expected" ] || fail "the clicks were
$clicks
not
$expected"
[ -z "$("$xwin" held)" ] || fail "a button stayed held: $("$xwin" held)"
pass "one round clicked the three points in order: left, right, then a double click"
