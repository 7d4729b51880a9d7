# A main window started minimized and then restored under a window manager shows its page whole: the
# same picture as after a normal start, within a small tolerance (a page laid out at another size, or
# drawn stretched, differs in most of its pixels).
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
mkdir -p "$LOCALAPPDATA"
title="Ravelin (Veltra Edition)"
shots=$RAVELIN_TEST_TMP/shots
mkdir -p "$shots"

manager=
main=
trap 'stop_programs $main $manager' EXIT

start_window_manager
xdotool mousemove 5 5  # no hover look on the page

wm_state() { xprop -id "$1" WM_STATE 2>/dev/null | sed -n 's/.*window state: *//p'; }
# Waits until window $1's client size has stayed the same for a second (the page grows a new window
# once after it has loaded); prints "x y width height".
settled() {
  local last="" now same=0
  for _ in $(seq 100); do
    now=$("$xwin" geometry "$1") || return 1
    if [ "$now" = "$last" ]; then same=$((same + 1)); else same=0; last=$now; fi
    [ "$same" -ge 10 ] && { echo "$now"; return 0; }
    sleep 0.1
  done
  return 1
}
# Saves the client area of window $1 as $2, once it shows a painted page (many colours) or after 10 s.
shoot() {
  local x y w h
  read -r x y w h < <(settled "$1") || fail "window $1 never settled"
  for _ in $(seq 50); do
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$2"
    [ "$(identify -format '%k' "$2")" -ge 50 ] && return 0
    sleep 0.2
  done
}
close_main() {
  "$xwin" close "$1"
  wait_exit "$main" 15 || fail "main instance still runs after its window was closed"
  main=
}

# ---- the normal start -------------------------------------------------------------------------------
printf 'startMinimized=0\r\n' >"$app/appsettings.txt"
"$app/ravelin" >"$RAVELIN_TEST_TMP/normal.log" 2>&1 &
main=$!
id=$(wait_window "$title" 30) || fail "main window not found"
# Loaded, the page grows a window still at its first-run client size (420 x 560) on this screen.
for _ in $(seq 150); do
  read -r _ _ _ h < <("$xwin" geometry "$id")
  [ "${h:-560}" != 560 ] && break
  sleep 0.1
done
[ "${h:-560}" != 560 ] || fail "the page did not grow the new window"
shoot "$id" "$shots/normal.png"
close_main "$id"

# ---- started minimized, then restored ---------------------------------------------------------------
# The same place and size as the normal start ended with; only the start differs.
sed -i 's/^startMinimized=0/startMinimized=1/' "$app/appsettings.txt"
"$app/ravelin" >"$RAVELIN_TEST_TMP/minimized.log" 2>&1 &
main=$!
id=$(wait_window "$title" 30) || fail "main window not found"
for _ in $(seq 100); do [ "$(wm_state "$id")" = Iconic ] && break; sleep 0.05; done
[ "$(wm_state "$id")" = Iconic ] || fail "the window did not start minimized"
sleep 3  # the page loads and asks for its size while the window is minimized
[ "$(wm_state "$id")" = Iconic ] || fail "the window did not stay minimized"
wmctrl -i -a "$id"  # as a task bar restores it
for _ in $(seq 100); do [ "$(wm_state "$id")" = Normal ] && break; sleep 0.05; done
[ "$(wm_state "$id")" = Normal ] || fail "the window was not restored"
shoot "$id" "$shots/restored.png"
close_main "$id"

# ---- the same picture ---------------------------------------------------------------------------------
# Two windows that show nothing (a page not painted) would compare equal.
colours=$(identify -format '%k' "$shots/normal.png")
[ "$colours" -ge 50 ] || fail "the normal start shows no page ($colours colours)"
# RAVELIN_KEEP_SHOTS names a folder to keep both pictures in, to look at them.
[ -n "${RAVELIN_KEEP_SHOTS:-}" ] && cp "$shots"/*.png "$RAVELIN_KEEP_SHOTS"/
size_normal=$(identify -format '%wx%h' "$shots/normal.png")
size_restored=$(identify -format '%wx%h' "$shots/restored.png")
[ "$size_normal" = "$size_restored" ] ||
  fail "restored window is $size_restored inside, after a normal start $size_normal"
# Pixels that differ by more than a tenth of the range, as a share of all.
differing=$(compare -metric AE -fuzz 10% "$shots/normal.png" "$shots/restored.png" null: 2>&1)
total=$(identify -format '%[fx:w*h]' "$shots/normal.png")
share=$(awk -v d="$differing" -v t="$total" 'BEGIN { printf "%.4f", d / t }')
awk -v s="$share" 'BEGIN { exit !(s <= 0.01) }' ||
  fail "restored page differs from the normal start in $differing of $total pixels ($share)"
pass "restored window shows the page as a normal start does: $size_restored, $differing pixels differ"
