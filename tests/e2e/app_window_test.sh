# The main window is an application's, not a browser's: it carries the program's class for the
# desktop; none of the browser engine's keys (caret browsing, reload, find, print, zoom, developer
# tools, back and forward) nor the mouse's back and forward buttons reach the engine, so the program
# lives on through each; a right click outside a text field shows no menu, and in a text field the
# editing menu.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
mkdir -p "$LOCALAPPDATA"
title="Ravelin (Veltra Edition)"
# The play hotkey is F7: with the hotkeys on, the program would take F7 before the window sees it.
printf 'hotkeysEnabled=0\n' >"$app/appsettings.txt"

main=
trap 'stop_programs $main' EXIT
"$app/ravelin" >"$RAVELIN_TEST_TMP/main.log" 2>&1 &
main=$!
id=$(wait_window "$title" 30) || fail "main window not found"

class=$(xprop -id "$id" WM_CLASS)
[ "$class" = 'WM_CLASS(STRING) = "ravelin", "ravelin"' ] || fail "the window's class: $class"
grep -qx "StartupWMClass=ravelin" "$(dirname "$0")/../../packaging/ravelin.desktop" ||
  fail "the desktop entry does not name the window's class"
pass "the window's class is ravelin, as the desktop entry says"

# The windows on the screen that are shown (a menu is one of its own).
shown() {
  local w
  for w in $(xwininfo -root -children | awk '/^ +0x/ { print $1 }'); do
    xwininfo -id "$w" | grep -q IsViewable && echo "$w"
  done | wc -l
}
alive() { kill -0 "$main" 2>/dev/null || fail "the program ended after $1: $(tail -n 3 "$RAVELIN_TEST_TMP/main.log")"; }

read -r x y _ _ < <("$xwin" geometry "$id")
sleep 2  # the page loads
# The page's title at the top left: no control there.
xdotool mousemove $((x + 60)) $((y + 20)) click 1
sleep 0.3
for key in F7 F7 F5 ctrl+r ctrl+shift+r F3 ctrl+f ctrl+g ctrl+p ctrl+u ctrl+plus ctrl+minus ctrl+0 \
  F12 ctrl+shift+i ctrl+shift+j ctrl+shift+c alt+Left alt+Right F1 F11 shift+F10 Menu \
  XF86Back XF86Forward XF86Reload; do
  xdotool key "$key"
  sleep 0.4
  alive "$key"
done
xdotool click 8 click 9
sleep 0.5
alive "the back and forward buttons"
pass "no browser key or button ended the program"

before=$(shown)
xdotool mousemove $((x + 60)) $((y + 20)) click 3
sleep 0.8
[ "$(shown)" = "$before" ] || fail "a right click on the page's title opened a menu"
pass "a right click outside a text field opens no menu"

# The clicker's first interval field (hours), in the first row of the first card.
xdotool mousemove $((x + 117)) $((y + 113)) click 3
sleep 0.8
[ "$(shown)" -gt "$before" ] || fail "a right click in the clicker's hours field opened no menu (has the layout moved?)"
xdotool key Escape
sleep 0.3
alive "the text field's menu"
pass "a right click in a text field opens its editing menu"
