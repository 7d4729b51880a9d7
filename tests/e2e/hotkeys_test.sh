# The hotkeys of the real program, driven with xdotool while another window has the focus: F6 starts
# and stops the auto-clicker, F8 records typing and pointer moves, F7 plays them back in order and
# on time, and none of these keys ever reaches the focused window. A hotkey reassigned in the
# session file takes over, and the old key passes through again. A hotkey with a modifier (Ctrl+F6)
# fires only with it: plain F6 then reaches the focused window and starts nothing.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
title="Ravelin (Veltra Edition)"

# The target window sits away from the program's window; its log has one line per event.
tx=1000 ty=100 tw=600 th=500
cx=$((tx + tw / 2)) cy=$((ty + th / 2))
log="$RAVELIN_TEST_TMP/target.log"
trap cleanup_processes EXIT

start_program() {
  "$app/ravelin" >>"$RAVELIN_TEST_TMP/out.log" 2>&1 &
  app_pid=$!
  app_window=$(wait_window "$title" 30) || fail "main window not found"
}

start_target() { start_timeline_target "Capture E2E Target" $tx $ty $tw $th; }

stop_program() {
  "$xwin" close "$app_window"
  wait_exit "$app_pid" 10 || { grep -vE "Gtk-WARNING|a11y|^$" "$RAVELIN_TEST_TMP/out.log" | tail -5 >&2; kill -ABRT "$app_pid"; sleep 1; fail "still running 10 s after its window was closed"; }
  [ "$exit_code" = 0 ] || fail "exit code $exit_code after closing the window"
  app_pid=""
  kill "$target_pid" 2>/dev/null
  wait "$target_pid" 2>/dev/null
  target_pid=""
}

lines() { wc -l <"$log"; }
# Lines of the log after line $1 (and up to line $2 when given).
log_after() { if [ $# -gt 1 ]; then sed -n "$(($1 + 1)),$2p" "$log"; else tail -n +"$(($1 + 1))" "$log"; fi; }
clicks_after() { log_after "$1" | grep -c "button press 1"; }
# Fails when the log has a press of one of the keysyms given. (A hotkey's lone release may reach the
# window: its grab ends as soon as the press has been taken, so that what the program sends goes to
# the focused window.)
never_saw() {
  for key in "$@"; do
    if grep -q " key press [0-9]* $key\$" "$log"; then fail "$key reached the focused window"; fi
  done
}

# ---- defaults: F6 auto-clicker, F8 record, F7 play ----
start_program
start_target

mark=$(lines)
xdotool key F6
sleep 1
on=$(clicks_after "$mark")
[ "$on" -ge 5 ] || fail "F6 started no auto-clicker: $on clicks in 1 s"
xdotool key F6
sleep 0.3
stopped=$(lines)
sleep 0.7
[ "$(clicks_after "$stopped")" = 0 ] || fail "the second F6 did not stop the auto-clicker"
pass "F6 toggles the auto-clicker ($on clicks in 1 s)"

# Typing, then moves that never line up (a glide between two of them passes no third one).
xdotool key F8
sleep 0.5
recorded=$(lines)
xdotool type --delay 250 'rvx'
xdotool sleep 0.3 mousemove_relative 40 5 sleep 0.2 mousemove_relative 5 40 sleep 0.25 \
  mousemove_relative -- -40 10 sleep 0.2 mousemove_relative 10 -40 sleep 0.3
recorded_end=$(lines)
xdotool key F8
sleep 0.5
# Somewhere else over the target, so that the replay's first glide has a way to go.
xdotool mousemove $((tx + 50)) $((ty + 50))
sleep 0.3
replayed=$(lines)
xdotool key F7
sleep 4
never_saw F6 F7 F8

# The original and the replay as "offset_ms token" lines; replayed moves count where they land on
# a recorded point (the glides in between are the player's own).
log_after "$recorded" "$recorded_end" | awk '
  $2 == "key" && $5 !~ /^F[678]$/ { print $1, $3 "-" $5 } $2 == "motion" { print $1, "m" $3 "," $4 }' >"$RAVELIN_TEST_TMP/original"
[ "$(grep -c " m" "$RAVELIN_TEST_TMP/original")" = 4 ] || fail "the target saw $(grep -c " m" "$RAVELIN_TEST_TMP/original") of 4 moves"
[ "$(grep -vc " m" "$RAVELIN_TEST_TMP/original")" = 6 ] || fail "the target saw other keys than 3 presses and releases"
log_after "$replayed" | awk -v points="$(awk '$2 ~ /^m/ { printf "%s ", $2 }' "$RAVELIN_TEST_TMP/original")" '
  BEGIN { n = split(points, p, " "); for (i = 1; i <= n; i++) wanted[p[i]] = 1 }
  $2 == "key" && $5 !~ /^F[678]$/ { print $1, $3 "-" $5; last = "" }
  $2 == "motion" { token = "m" $3 "," $4; if ((token in wanted) && token != last) print $1, token; last = token }' \
  >"$RAVELIN_TEST_TMP/replay"
paste -d' ' "$RAVELIN_TEST_TMP/original" "$RAVELIN_TEST_TMP/replay" | awk '
  NR == 1 { o0 = $1; r0 = $3 }
  { if ($2 != $4) { print "event " NR ": recorded " $2 ", replayed " $4; bad = 1 }
    e = (($3 - r0) - ($1 - o0)) / 1000; if (e < 0) e = -e; if (e > max) max = e }
  END { printf "max_gap_error_ms=%.1f\n", max; if (bad || max > 60) exit 1 }' >"$RAVELIN_TEST_TMP/compare" ||
  { cat "$RAVELIN_TEST_TMP/compare" "$RAVELIN_TEST_TMP/original" "$RAVELIN_TEST_TMP/replay" >&2; fail "the replay differs"; }
[ "$(wc -l <"$RAVELIN_TEST_TMP/replay")" = "$(wc -l <"$RAVELIN_TEST_TMP/original")" ] ||
  { cat "$RAVELIN_TEST_TMP/replay" >&2; fail "the replay has other events than the recording"; }
pass "F8 records typing and moves, F7 replays them in order ($(cat "$RAVELIN_TEST_TMP/compare"))"
stop_program

# ---- F10 as the auto-clicker hotkey, from the session file ----
defaults=(0 0 0 100 0 0 1 10 0 0 0 1 1 1 1 0 1 0 500 119 118 0 117 0 0 0 100 1 10 120 32)
defaults[22]=121
mkdir -p "$LOCALAPPDATA/Tapforge"
printf 'SETTINGS:%s\r\nCURRENT:0\r\nPROFILE:Default Tracking Profile\r\n' "$(IFS=,; echo "${defaults[*]}")" \
  >"$LOCALAPPDATA/Tapforge/session.mcr"
start_program
start_target

mark=$(lines)
xdotool key F6
sleep 0.6
log_after "$mark" | grep -q "key press [0-9]* F6" || fail "F6 no longer a hotkey, but it did not reach the window"
[ "$(clicks_after "$mark")" = 0 ] || fail "F6 still starts the auto-clicker"
mark=$(lines)
xdotool key F10
sleep 1
on=$(clicks_after "$mark")
[ "$on" -ge 5 ] || fail "F10 from the session file started no auto-clicker: $on clicks"
xdotool key F10
sleep 0.3
stopped=$(lines)
sleep 0.7
[ "$(clicks_after "$stopped")" = 0 ] || fail "the second F10 did not stop the auto-clicker"
never_saw F10
pass "F10 from the session file toggles the auto-clicker; F6 passes through"
stop_program

# ---- Ctrl+F6 as the auto-clicker hotkey: the key in the session file, its modifier beside the
# preferences ----
defaults[22]=117
printf 'SETTINGS:%s\r\nCURRENT:0\r\nPROFILE:Default Tracking Profile\r\n' "$(IFS=,; echo "${defaults[*]}")" \
  >"$LOCALAPPDATA/Tapforge/session.mcr"
printf 'hkAutoModifiers=1\r\n' >>"$app/appsettings.txt"
start_program
start_target

mark=$(lines)
xdotool key F6
sleep 0.6
log_after "$mark" | grep -q "key press [0-9]* F6" || fail "plain F6 did not reach the window under Ctrl+F6"
[ "$(clicks_after "$mark")" = 0 ] || fail "plain F6 started the auto-clicker of Ctrl+F6"
mark=$(lines)
xdotool key ctrl+F6
sleep 1
on=$(clicks_after "$mark")
[ "$on" -ge 5 ] || fail "Ctrl+F6 started no auto-clicker: $on clicks"
log_after "$mark" | grep -q "key press [0-9]* F6" && fail "Ctrl+F6 reached the focused window"
xdotool key ctrl+F6
sleep 0.3
stopped=$(lines)
sleep 0.7
[ "$(clicks_after "$stopped")" = 0 ] || fail "the second Ctrl+F6 did not stop the auto-clicker"
mark=$(lines)
xdotool key shift+F6
sleep 0.6
[ "$(clicks_after "$mark")" = 0 ] || fail "Shift+F6 started the auto-clicker of Ctrl+F6"
log_after "$mark" | grep -q "key press [0-9]* F6" || fail "Shift+F6 did not reach the window"
grep -q '"hkAuto":"Ctrl+F6"' "$app/status.txt" || fail "the status file names the hotkey otherwise: $(cat "$app/status.txt")"
pass "Ctrl+F6 toggles the auto-clicker and is swallowed; F6 and Shift+F6 reach the window ($on clicks in 1 s)"
stop_program
grep -q '^hkAutoModifiers=1' "$app/appsettings.txt" || fail "the hotkey's modifier was not kept"
