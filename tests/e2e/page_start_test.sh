# The clicker's hotkey and then the page's own Start button with the default settings (left button,
# at the pointer), each on the first press after a fresh start or a move, under a window manager: while the pointer stays over the program's window the clicker
# runs but waits, clicking nothing (neither the target nor its own Stop button); once the pointer is
# moved to the target window, the target gets the clicks.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
mkdir -p "$LOCALAPPDATA"
title="Ravelin (Veltra Edition)"
log="$RAVELIN_TEST_TMP/target.log"
tx=1200 ty=100 tw=500 th=400

manager= main= target_pid=
trap 'stop_programs $target_pid $main $manager' EXIT

start_window_manager

start_timeline_target "Page Start Target" $tx $ty $tw $th
"$app/ravelin" >"$RAVELIN_TEST_TMP/main.log" 2>&1 &
main=$!
id=$(wait_window "$title" 30) || fail "main window not found"
xdotool windowmove "$id" 100 100

clicks() { grep -c "button press 1" "$log"; }
running() { grep -q '"autoClicking":true' "$app/status.txt" 2>/dev/null; }

# The Start button: the first full-width button of the page, in the clicker's card, looked for down a
# column near its left edge once the page has painted it.
read -r x y _ _ < <("$xwin" geometry "$id")
bx=$((x + 45))
button_row() {
  import -window root -crop "1x500+$bx+$((y + 200))" -depth 8 txt:- 2>/dev/null |
    awk -F'[,:]' 'toupper($0) ~ /#2563EB/ { print $2; exit }'
}
for _ in $(seq 100); do row=$(button_row); [ -n "$row" ] && break; sleep 0.1; done
[ -n "$row" ] || fail "no Start button in the column at x $bx"
by=$((y + 200 + row + 10))
before=$(clicks)

# The hotkey with the pointer resting on the Start button, as the first thing after the start: the
# first click already knows the window is ours, so the clicker does not press its own Stop button.
xdotool mousemove "$bx" "$by"
sleep 0.3
xdotool key F6
for _ in $(seq 30); do running && break; sleep 0.1; done
running || fail "F6 did not start the clicker: $(cat "$app/status.txt")"
sleep 1.5
running || fail "the clicker started by F6 stopped itself (it clicked its own button)"
[ "$(clicks)" = "$before" ] || fail "the target got clicks while the pointer was on the program's window"
xdotool key F6
for _ in $(seq 30); do running || break; sleep 0.1; done
running && fail "F6 did not stop the clicker"
pass "F6 with the pointer on the Start button started the clicker on the first press; it waits"

# Moved meanwhile: the clicker knows the window's new place from its first click on.
xdotool windowmove "$id" 150 120
sleep 1
read -r x y _ _ < <("$xwin" geometry "$id")
bx=$((x + 45)) by=$((y + 200 + row + 10))
xdotool mousemove "$bx" "$by" click 1
for _ in $(seq 30); do running && break; sleep 0.1; done
running || fail "the clicker is not running after the page's button (not started, or its first click stopped it): $(cat "$app/status.txt")"
sleep 1.5
running || fail "the clicker stopped while the pointer was over its window (it clicked its own button)"
[ "$(clicks)" = "$before" ] || fail "the target got $(($(clicks) - before)) clicks while the pointer was elsewhere"
pass "started from the page's button; over the program's window it waits"

# The window manager may have placed the target elsewhere than it asked.
read -r gx gy gw gh < <("$xwin" geometry "$target_window")
xdotool mousemove $((gx + gw / 2)) $((gy + gh / 2))
sleep 1.5
got=$(($(clicks) - before))
running || fail "the clicker stopped"
# 100 ms apart: about 15 in 1.5 s, less the time the pointer took to get there.
[ "$got" -ge 8 ] || fail "the target got $got clicks in 1.5 s"
pass "the target got $got clicks once the pointer was over it"

xdotool key F6
sleep 0.5
for _ in $(seq 30); do running || break; sleep 0.1; done
running && fail "F6 did not stop the clicker"
"$xwin" close "$id"
wait_exit "$main" 15 || fail "main instance still runs after its window was closed"
main=
