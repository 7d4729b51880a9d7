# A macro through the page and the system's file dialogs, as a user goes: keys typed about 170 ms
# apart are recorded, saved in the page's library under a name, exported through the GTK file
# chooser (the path typed into it) to a folder of the test's own, one wait is changed in that file
# by hand, the file is imported back through the chooser, loaded and played, and the replayed gap is
# the edited one. Exporting over the same file asks first; a cancelled dialog changes nothing.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"
mkdir -p "$LOCALAPPDATA"
send="$build/tests/pipe_send_target"
title="Ravelin (Veltra Edition)"
[ -x "$send" ] || fail "missing $send"
macros="$LOCALAPPDATA/Tapforge/macros"
outside="$RAVELIN_TEST_TMP/elsewhere"
mkdir -p "$outside"
log="$RAVELIN_TEST_TMP/target.log"
shots="${RAVELIN_KEEP_SHOTS:-}"
trap cleanup_processes EXIT

"$app/ravelin" >>"$RAVELIN_TEST_TMP/out.log" 2>&1 &
app_pid=$!
main=$(wait_window "$title" 30) || fail "main window not found"
# Large enough for the page's two columns; the library is at the foot of the first. The page sizes
# its window once it has loaded (a first run's window grows): sized again until it stays so.
sized=0
for _ in $(seq 40); do
  xdotool windowmove "$main" 0 0 windowsize "$main" 1900 1060
  sleep 0.5
  if [ "$("$xwin" geometry "$main")" = "0 0 1900 1060" ]; then
    sized=$((sized + 1))
    [ "$sized" -ge 3 ] && break
  else
    sized=0
  fi
done
[ "$sized" -ge 3 ] || fail "the main window did not stay at 1900x1060: $("$xwin" geometry "$main")"
start_timeline_target "Macro Dialog Target" 1000 100 600 500

wait_file() {
  for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.05; done
  return 1
}
wait_gone() {
  for _ in $(seq 100); do "$xwin" find "$1" >/dev/null || return 0; sleep 0.05; done
  return 1
}
lines() { wc -l <"$log"; }
wait_presses() {
  for _ in $(seq 200); do
    [ "$(sed -n "$(($1 + 1)),\$p" "$log" | awk '$2 == "key" && $3 == "press"' | wc -l)" -ge "$2" ] && return 0
    sleep 0.05
  done
  return 1
}
press_gaps() {
  sed -n "$(($1 + 1)),\$p" "$log" | awk '$2 == "key" && $3 == "press" {
    if (seen) printf "%.1f\n", ($1 - last) / 1000; last = $1; seen = 1 }'
}
shot() { [ -n "$shots" ] && import -window root "$shots/$1.png"; true; }

# The library's name field: with the page scrolled to its foot, the first column's last panel ends
# with the library, and the field is a fixed way above that panel's lower edge (found by its white
# inside) while the library is empty. The click that gives the page the keyboard is on its header.
library_field() {
  page_keys
  xdotool click 1
  sleep 0.2
  xdotool key End
  sleep 0.8
  shot library
  local bottom
  bottom=$(import -window root -crop 1x1060+30+0 -depth 8 txt:- 2>/dev/null |
    awk -F'[,:]' 'NR > 1 && toupper($0) ~ /#FFFFFF/ { y = $2 } END { print y }')
  [ -n "$bottom" ] || fail "the page's first column was not found"
  field_x=300 field_y=$((bottom - 141))
}
# Keys to the main window (the target window took the focus), the pointer on the page's header.
page_keys() {
  xdotool windowfocus "$main" mousemove 900 20
  sleep 0.3
}
# The dialog titled $1: waits for it, puts the pointer on it (keys go where the pointer is on a
# display without a window manager) and sets $dialog.
take_dialog() {
  dialog=$(wait_window "$1" 10) || fail "no dialog \"$1\" came up"
  local x y w h
  read -r x y w h < <("$xwin" geometry "$dialog")
  xdotool mousemove $((x + w / 2)) $((y + 20))
  sleep 0.5
}

# ---- record three keys -----------------------------------------------------------------------
"$send" 'updateTracker|0,0,0,1,0,1,0,500'
xdotool key F8
sleep 0.5
xdotool key q sleep 0.17 key w sleep 0.17 key e
sleep 0.3
xdotool key F8
sleep 1

# ---- saved in the page under a name -----------------------------------------------------------
library_field
xdotool mousemove "$field_x" "$field_y" click 1
sleep 0.3
xdotool type --delay 60 'Keys QWE'
xdotool key Return
wait_file "$macros/Keys QWE.rvm" || fail "the page's Save made no macros/Keys QWE.rvm (the name field was looked for at $field_x,$field_y)"
pass "the recording is saved from the page as \"Keys QWE\""
sleep 1

# ---- exported through the Save dialog -----------------------------------------------------------
# From the name field: Save, then the macro's Load, Rename, Duplicate and Export.
xdotool key --delay 100 Tab Tab Tab Tab Tab Return
take_dialog 'Export "Keys QWE"'
shot export-dialog
xdotool key ctrl+a
xdotool type --delay 20 "$outside/edited.rvm"
xdotool key Return
wait_gone 'Export "Keys QWE"' || fail "the Save dialog did not close"
page_keys
wait_file "$outside/edited.rvm" || fail "nothing was exported to $outside/edited.rvm"
cmp -s "$macros/Keys QWE.rvm" "$outside/edited.rvm" || fail "the exported file differs from the library's"
pass "exported through the Save dialog to the path typed into it"

# ---- the same file again: the dialog asks first; cancelled, nothing changes --------------------
printf 'kept\n' >"$outside/kept.rvm"
# The keyboard is still on the macro's Export.
sleep 1
xdotool key Return
take_dialog 'Export "Keys QWE"'
xdotool key ctrl+a
xdotool type --delay 20 "$outside/kept.rvm"
xdotool key Return
sleep 1.5
"$xwin" find 'Export "Keys QWE"' >/dev/null || fail "the Save dialog closed over an existing file without asking"
shot export-replace-question
# Escape answers the question No, a second closes the dialog.
xdotool key Escape
sleep 0.5
xdotool key Escape
wait_gone 'Export "Keys QWE"' || fail "the Save dialog did not close on Escape"
page_keys
sleep 0.5
[ "$(cat "$outside/kept.rvm")" = kept ] || fail "a cancelled export wrote over kept.rvm"
# Asked again, and Replace (the question's default) this time.
xdotool key Return
take_dialog 'Export "Keys QWE"'
xdotool key ctrl+a
xdotool type --delay 20 "$outside/kept.rvm"
xdotool key Return
sleep 1.5
xdotool key Return
wait_gone 'Export "Keys QWE"' || fail "the Save dialog did not close after Replace"
page_keys
for _ in $(seq 50); do cmp -s "$macros/Keys QWE.rvm" "$outside/kept.rvm" && break; sleep 0.1; done
cmp -s "$macros/Keys QWE.rvm" "$outside/kept.rvm" || fail "Replace did not export over kept.rvm"
pass "the Save dialog asks before it replaces a file: cancelled, the file stays; replaced, it is the macro"

# ---- one wait edited by hand: W comes 700 ms after Q's release ----------------------------------
file="$outside/edited.rvm"
awk '{ sub(/\r$/, "") } / key-down W / { $1 = 700 } { printf "%s\r\n", $0 }' "$file" >"$file.new" && mv "$file.new" "$file"
want=$(awk '{ sub(/\r$/, "") } / key-down Q / { on = 1; next } on && /^[0-9]/ { sum += $1 } / key-down W / { print sum; exit }' "$file")
awk -v w="${want:-0}" 'BEGIN { exit !(w >= 700) }' || fail "the edited file does not hold the edit: $(tr -d '\r' <"$file")"

# ---- imported through the Open dialog -----------------------------------------------------------
# From the macro's Export (once the list is read again after the export): its Delete, then Import.
sleep 1
xdotool key --delay 100 Tab Tab Return
take_dialog "Import a macro"
shot import-dialog
xdotool type --delay 20 "$file"
sleep 0.3
xdotool key Return
wait_gone "Import a macro" || fail "the Open dialog did not close"
page_keys
wait_file "$macros/edited.rvm" || fail "nothing was imported as macros/edited.rvm: $(ls "$macros")"
cmp -s "$file" "$macros/edited.rvm" || fail "the imported macro differs from the file"
pass "imported through the Open dialog as \"edited\""

# ---- loaded and played: the replayed gap is the edited one -------------------------------------
"$send" 'loadMacro|edited'
sleep 1
xdotool windowfocus "$target_window"
xdotool mousemove 1300 350
sleep 0.3
replayed=$(lines)
xdotool key F7
wait_presses "$replayed" 3 || fail "the replay sent fewer than three keys"
gaps=$(press_gaps "$replayed" | tr '\n' ' ')
echo "$gaps" | awk -v want="$want" '{ e = $1 - want; if (e < 0) e = -e; exit !(e <= 60 && $2 > 100 && $2 < 400) }' ||
  fail "replayed gaps $gaps ms, the edited one should be $want ms"
pass "the imported macro plays the edited wait: Q to W $(echo $gaps | cut -d' ' -f1) ms for $want ms in the file"
