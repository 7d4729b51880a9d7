# A macro from recording to replay through its file: keys typed about 200 ms apart are recorded,
# saved into the library with the pipe's saveMacro, one wait is changed in the file by hand, the
# macro is loaded back with loadMacro and played, and the replayed gap is the edited one. A file
# broken by hand is refused whole and leaves the recording as it was.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
mkdir -p "$LOCALAPPDATA"
send="$build/tests/pipe_send_target"
title="Ravelin (Veltra Edition)"
[ -x "$send" ] || fail "missing $send"
macros="$LOCALAPPDATA/Tapforge/macros"
log="$RAVELIN_TEST_TMP/target.log"
trap cleanup_processes EXIT

"$app/ravelin" >>"$RAVELIN_TEST_TMP/out.log" 2>&1 &
app_pid=$!
wait_window "$title" 30 >/dev/null || fail "main window not found"
start_timeline_target "Macro E2E Target" 1000 100 600 500

lines() { wc -l <"$log"; }
wait_presses() {
  for _ in $(seq 200); do
    [ "$(sed -n "$(($1 + 1)),\$p" "$log" | awk '$2 == "key" && $3 == "press"' | wc -l)" -ge "$2" ] && return 0
    sleep 0.05
  done
  return 1
}
# The gaps in ms between the key presses in the log after line $1.
press_gaps() {
  sed -n "$(($1 + 1)),\$p" "$log" | awk '$2 == "key" && $3 == "press" {
    if (seen) printf "%.1f\n", ($1 - last) / 1000; last = $1; seen = 1 }'
}
wait_file() {
  for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.05; done
  return 1
}

# ---- record three keys and save them as a macro ----
"$send" 'updateTracker|0,0,0,1,0,1,0,500'
xdotool key F8
sleep 0.5
xdotool key q sleep 0.17 key w sleep 0.17 key e
sleep 0.3
xdotool key F8
sleep 0.5
# Under load the control thread may not have ended the recording yet: a save then is refused, and
# asked for again.
for _ in 1 2 3; do
  "$send" 'saveMacro|E2E' || fail "the main instance took no message"
  wait_file "$macros/E2E.rvm" && break
done
[ -s "$macros/E2E.rvm" ] || fail "no macros/E2E.rvm after saveMacro"
sleep 0.3
file="$macros/E2E.rvm"
head -n1 "$file" | tr -d '\r' | grep -qx 'Ravelin macro 1' || fail "first line of $(head -n1 "$file")"
[ "$(grep -c ' key-down [QWE] ' "$file")" = 3 ] || fail "the file holds other than three key presses: $(cat "$file")"
pass "the recording is saved as macros/E2E.rvm"

# ---- one wait changed by hand: the press of W comes 700 ms after the release of Q ----
awk '{ sub(/\r$/, "") } / key-down W / { $1 = 700 } { printf "%s\r\n", $0 }' "$file" >"$file.new" && mv "$file.new" "$file"
# What the gap from Q's press to W's press must now be: the waits after Q's press up to W's.
want=$(awk '{ sub(/\r$/, "") } / key-down Q / { on = 1; next } on && /^[0-9]/ { sum += $1 } / key-down W / { print sum; exit }' "$file")
"$send" 'loadMacro|E2E'
sleep 1
replayed=$(lines)
xdotool key F7
wait_presses "$replayed" 3 || fail "the replay sent fewer than three keys: $(tr -d '\r' <"$file")"
gaps=$(press_gaps "$replayed" | tr '\n' ' ')
echo "$gaps" | awk -v want="$want" '{ e = $1 - want; if (e < 0) e = -e; exit !(e <= 60 && $2 > 100 && $2 < 400) }' ||
  fail "replayed gaps $gaps ms, the edited one should be $want ms: $(tr -d '\r' <"$file")"
pass "the edited wait is played: Q to W $(echo $gaps | cut -d' ' -f1) ms for $want ms in the file"

# ---- a file broken by hand is refused and the recording stays ----
printf 'Ravelin macro 1\r\n0 key-down Q 81\r\n5 fly away\r\n' >"$macros/Broken.rvm"
"$send" 'loadMacro|Broken'
sleep 1
played=$(lines)
xdotool key F7
# The three keys of the macro loaded before, not the one key of the broken file.
wait_presses "$played" 3 || fail "after a refused load the replay sent fewer than three keys"
pass "a broken file is refused whole; the recording stays"
