# Panels with the real program under a window manager: a panel instance shows frameless where its
# command line puts it, both windows carry the program's icon, a message sent the way a panel sends
# it changes the main instance's settings, a panel dragged by its header and dropped on the main
# window ends, and the main window comes back where the user left it.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
mkdir -p "$LOCALAPPDATA"
main_title="Ravelin (Veltra Edition)"
panel_title="Ravelin (Auto Clicker)"
send="$build/tests/pipe_send_target"

manager=
main=
panel=
trap 'stop_programs $panel $main $manager' EXIT

# The outer rectangle of window $1 on the screen, frame included: "x y width height".
outer() {
  local x y w h l r t b
  read -r x y w h < <("$xwin" geometry "$1") || return 1
  read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ',')
  echo "$((x - ${l:-0})) $((y - ${t:-0})) $((w + ${l:-0} + ${r:-0})) $((h + ${t:-0} + ${b:-0}))"
}
# Waits up to $2 seconds for process $1 to end (in this shell, which can wait for its own children).
ended_within() {
  for _ in $(seq $(($2 * 10))); do kill -0 "$1" 2>/dev/null || { wait "$1"; return 0; }; sleep 0.1; done
  return 1
}
setting() { sed -n "s/^$1=\([-0-9]*\)\r\?$/\1/p" "$app/appsettings.txt" 2>/dev/null; }

# ---- a window manager of the test's own, on the private display ---------------------------------
start_window_manager

"$app/ravelin" >"$RAVELIN_TEST_TMP/main.log" 2>&1 &
main=$!
main_id=$(wait_window "$main_title" 30) || fail "main window not found"

# ---- a panel started the way openPanel starts one ---------------------------------------------
"$app/ravelin" --child "Auto Clicker|clicker-panel|800|300|midnight" >"$RAVELIN_TEST_TMP/panel.log" 2>&1 &
panel=$!
panel_id=$(wait_window "$panel_title" 30) || fail "panel window not found"
placed=
for _ in $(seq 200); do
  read -r px py pw ph < <(outer "$panel_id")
  if [ "$px $py $pw" = "650 280 450" ]; then placed=1; break; fi
  sleep 0.05
done
[ -n "$placed" ] || fail "panel at $px,$py ${pw}x$ph, not at 650,280 450 wide"
# The page sizes the panel's height to its content soon after it has loaded; until then it is 400.
[ "$ph" -ge 60 ] && [ "$ph" -le 400 ] || fail "panel height $ph"
read -r l r t b < <(xprop -id "$panel_id" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p' | tr -d ',')
[ "$t" = "$l" ] && [ "$l" -le 1 ] || fail "panel has a title bar or frame: extents $l $r $t $b"
pass "panel frameless at 650,280, 450x$ph (extents $l,$r,$t,$b)"

# ---- both windows carry the program's icon, in every size the build drew -----------------------------
for id in "$main_id" "$panel_id"; do
  icons=$("$xwin" icons "$id")
  [ "$icons" = "16x16 32x32 48x48 64x64" ] || fail "window $id's _NET_WM_ICON holds '$icons'"
done
pass "main window and panel carry the icon: $icons"

# ---- a message the way a panel sends it ----------------------------------------------------------
"$send" 'updateSpammer|0,0,2,250,0,0,1,10,0' || fail "the main instance took no message"
session="$LOCALAPPDATA/Tapforge/session.mcr"
saved=
for _ in $(seq 150); do
  line=$(head -n1 "$session" 2>/dev/null | tr -d '\r')
  [ "$(echo "${line#SETTINGS:}" | cut -d, -f3,4)" = "2,250" ] && { saved=1; break; }
  sleep 0.1
done
[ -n "$saved" ] || fail "the autosave does not hold the panel's settings: $line"
pass "panel message applied: the autosave holds 2 s 250 ms"

# ---- the panel dragged by its header and dropped on the main window --------------------------------
sleep 1  # the page's script makes the header draggable once the page has loaded
read -r mx my mw mh < <(outer "$main_id")
hx=$((px + 100)) hy=$((py + 15))
tx=$((mx + mw / 2)) ty=$((my + mh / 2))
xdotool mousemove "$hx" "$hy"
sleep 0.3
xdotool mousedown 1
sleep 0.3
for step in 1 2 3 4 5 6 7 8; do
  xdotool mousemove $((hx + (tx - hx) * step / 8)) $((hy + (ty - hy) * step / 8))
  sleep 0.05
done
sleep 0.3
read -r dx dy _ _ < <(outer "$panel_id")
[ "$dx $dy" = "$((px + tx - hx)) $((py + ty - hy))" ] ||
  fail "panel at $dx,$dy during the drag, not under the pointer"
xdotool mouseup 1
ended_within "$panel" 10 || fail "the panel still runs after it was dropped on the main window"
panel=
pass "panel followed the pointer and ended when dropped on the main window"

# ---- the main window comes back where the user left it --------------------------------------------
xdotool windowmove "$main_id" 120 90
sleep 1.5
read -r mx my mw mh < <(outer "$main_id")
[ "$(setting windowX) $(setting windowY)" = "$mx $my" ] ||
  fail "after the move the preferences say $(setting windowX),$(setting windowY), the window is at $mx,$my"
"$xwin" close "$main_id"
ended_within "$main" 15 || fail "main instance still runs after its window was closed"
main=
"$app/ravelin" >"$RAVELIN_TEST_TMP/main2.log" 2>&1 &
main=$!
main_id=$(wait_window "$main_title" 30) || fail "main window not found after the restart"
back=
for _ in $(seq 100); do
  read -r nx ny nw nh < <(outer "$main_id")
  [ "$nx $ny" = "$mx $my" ] && { back=1; break; }
  sleep 0.05
done
[ -n "$back" ] || fail "after the restart the main window is at $nx,$ny, not $mx,$my"
pass "main window moved to $mx,$my, saved, and back there after a restart"
"$xwin" close "$main_id"
ended_within "$main" 15 || fail "main instance still runs after its window was closed"
main=
