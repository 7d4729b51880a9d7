# The program on a headless Wayland compositor (sway, no XWayland), with a Wayland window of the
# test's own (wayland_target) that logs the buttons and keys it gets: the clicker's clicks and the key
# spammer's keys reach it through the virtual pointer and keyboard; a macro's absolute moves land on
# their pixels; a sway key binding toggles the clicker through ravelin-cli; the page window comes up
# as a native Wayland window; recording is refused with the reason.
#
# sway refuses to run as root: run as root (CI), the test runs everything as the unprivileged user
# ravelintest, made when missing; run as another user, as that user. It never skips: a missing tool
# fails it.
set -u
build=$(cd "$1" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

for tool in sway swaymsg wtype jq; do
  command -v "$tool" >/dev/null || fail "$tool is missing: run scripts/setup"
done
for file in ravelin ravelin-cli libwebview.so.0.12 ui/index.html tests/wayland_target; do
  [ -e "$build/$file" ] || fail "missing $build/$file"
done

user=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
  user=ravelintest
  id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user" ||
    fail "could not make the user $user, whom sway needs (it refuses to run as root)"
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/ravelin-wayland.XXXXXX") || fail "no temporary folder"
chmod 755 "$tmp"
app="$tmp/app"
mkdir -p "$app/ui" "$tmp/home" "$tmp/run" "$tmp/logs"
cp "$build/ravelin" "$build/ravelin-cli" "$build/libwebview.so.0.12" "$build/tests/wayland_target" "$app/"
cp "$build/ui/index.html" "$app/ui/"
chmod -R a+rX "$app"
chmod 700 "$tmp/run"
chown "$user" "$tmp/home" "$tmp/run" "$tmp/logs"
log="$tmp/logs/target.log"

cat >"$tmp/sway.config" <<EOF
xwayland disable
output HEADLESS-1 resolution 1280x720 position 0 0
bindsym F6 exec $app/ravelin-cli toggle clicker
EOF
chmod 644 "$tmp/sway.config"

# The test's user in the session's environment only. setpriv and env each become what they run, so a
# program started in the background as "${as[@]}" PROGRAM & has $! for its own id.
swaysock="$tmp/run/sway.sock"
as=(env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run"
  XDG_CONFIG_HOME="$tmp/home/config" XDG_DATA_HOME="$tmp/home/data" LOCALAPPDATA="$tmp/home/localappdata"
  WAYLAND_DISPLAY=wayland-1 SWAYSOCK="$swaysock")
[ "$(id -u)" -eq 0 ] && as=(setpriv --reuid="$user" --regid="$user" --clear-groups -- "${as[@]}")
as() { "${as[@]}" "$@"; }

sway_pid="" target_pid="" app_pid="" panel_pid=""
cleanup() {
  for pid in $panel_pid $app_pid $target_pid $sway_pid; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

"${as[@]}" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 SWAYSOCK="$swaysock" \
  sway -c "$tmp/sway.config" >"$tmp/sway.log" 2>&1 &
sway_pid=$!
for _ in $(seq 100); do
  [ -S "$tmp/run/wayland-1" ] && as swaymsg -t get_version >/dev/null 2>&1 && break
  sleep 0.1
done
as swaymsg -t get_version >/dev/null 2>&1 || fail "sway did not start: $(tail -5 "$tmp/sway.log")"

"${as[@]}" "$app/wayland_target" "$log" &
target_pid=$!
for _ in $(seq 50); do grep -q ready "$log" 2>/dev/null && break; sleep 0.1; done
grep -q ready "$log" 2>/dev/null || fail "the target window did not come up"

"${as[@]}" "$app/ravelin" >"$tmp/ravelin.log" 2>&1 &
app_pid=$!
title="Ravelin (Veltra Edition)"
tree_has_page() {
  as swaymsg -t get_tree | jq -e --arg title "$title" \
    '[recurse(.nodes[]?, .floating_nodes[]?) | select(.app_id == "ravelin" and .name == $title)] | length == 1' >/dev/null
}
for _ in $(seq 300); do tree_has_page && break; sleep 0.1; done
tree_has_page || fail "no Ravelin window in sway's tree: $(tail -5 "$tmp/ravelin.log")"
pass "the page window is a native Wayland window in sway's tree"

cli() { as "$app/ravelin-cli" "$@"; }
status() { cli status | jq -r "$1"; }
session=$(status .session)
case "$session" in
  "Running on Wayland (sway): clicks and keys reach every window;"*"bindsym F6 exec ravelin-cli toggle clicker.") ;;
  *) fail "the status says: $session" ;;
esac
[ "$(cli --diagnose)" = "$session" ] || fail "ravelin-cli --diagnose says: $(cli --diagnose)"
pass "the status and ravelin-cli --diagnose name the session and what works there"

# The target takes the whole output, the pointer and the keyboard; the page stays behind it.
as swaymsg '[app_id=wayland-target] focus' >/dev/null
as swaymsg '[app_id=wayland-target] fullscreen enable' >/dev/null
sleep 0.5

# presses KIND CODE: how many presses of the button or key the target got; fails when one was not
# released before the next press or at the end (a stop releases what may be held: a release
# more is fine).
presses() {
  awk -v kind="$1" -v code="$2" '
    $1 == kind && $3 == code { if ($4 == 1) { if (down) bad = 1; down = 1; n++ } else down = 0 }
    END { if (down) bad = 1; print bad ? "unpaired" : n + 0 }' "$log"
}
: >"$log"
cli start clicker >/dev/null || fail "start clicker"
sleep 1.5
cli stop clicker >/dev/null
sleep 0.3
clicks=$(presses button 272)
[ "$clicks" != unpaired ] && [ "$clicks" -ge 5 ] || fail "the target got $clicks left clicks in 1.5 s of clicking: $(head -5 "$log")"
pass "the clicker's clicks reach the Wayland window ($clicks)"

: >"$log"
cli start keyspam >/dev/null || fail "start keyspam"
sleep 1.5
cli stop keyspam >/dev/null
sleep 0.3
keys=$(presses key 57)  # Space, the key spammer's default key
[ "$keys" != unpaired ] && [ "$keys" -ge 5 ] || fail "the target got $keys presses of Space: $(head -5 "$log")"
pass "the key spammer's keys reach the Wayland window ($keys)"

# Absolute moves on their pixels (the output is the whole layout), buttons, the wheel, and a
# capital A: Shift held as a modifier the compositor passes on.
: >"$log"
macro="$tmp/home/steps.rvm"
printf 'Ravelin macro 1\n0 move 300 200\n30 press left 300 200\n20 release left 300 200\n20 move 1279 719\n20 press right 1279 719\n20 release right 1279 719\n20 wheel -120\n20 key-down LeftShift 160\n10 key-down A 65\n10 key-up A 65\n10 key-up LeftShift 160\n' >"$macro"
chmod 644 "$macro"
cli play "$macro" >/dev/null || fail "play the macro"
for _ in $(seq 30); do grep -q "^key [0-9]* 42 0" "$log" && break; sleep 0.1; done
grep -q "^button [0-9]* 272 1 300 200$" "$log" || fail "no left press at 300,200: $(cat "$log")"
grep -q "^button [0-9]* 273 1 1279 719$" "$log" || fail "no right press at the last pixel: $(cat "$log")"
grep -q "^axis [0-9]* 0 15$" "$log" || fail "a notch toward the user is not one step down: $(cat "$log")"
[ "$(grep '^key' "$log" | cut -d' ' -f3,4 | tr '\n' ' ')" = "42 1 30 1 30 0 42 0 " ] ||
  fail "Shift+A arrived as: $(grep '^key' "$log")"
pass "a macro's moves, buttons, wheel and keys arrive as recorded"

# The compositor's key binding runs ravelin-cli: F6 starts the clicker, F6 again stops it.
: >"$log"
as wtype -k F6
for _ in $(seq 30); do [ "$(status .clicker.running)" = true ] && break; sleep 0.1; done
[ "$(status .clicker.running)" = true ] || fail "bindsym F6 did not start the clicker"
sleep 0.5
as wtype -k F6
for _ in $(seq 30); do [ "$(status .clicker.running)" = false ] && break; sleep 0.1; done
[ "$(status .clicker.running)" = false ] || fail "bindsym F6 did not stop the clicker"
clicks=$(presses button 272)
[ "$clicks" != unpaired ] && [ "$clicks" -ge 2 ] || fail "the clicker started by the binding did not click the target"
pass "sway's bindsym F6 toggles the clicker through ravelin-cli"

# With the pointer on the page the clicker waits instead of clicking it: the page is told when the
# pointer comes in, though no position is.
as swaymsg '[app_id=wayland-target] fullscreen disable' >/dev/null
page_rect=$(as swaymsg -t get_tree | jq -r '[recurse(.nodes[]?, .floating_nodes[]?) | select(.app_id == "ravelin")][0].rect | "\(.x + .width / 2 | floor) \(.y + .height / 2 | floor)"')
printf 'Ravelin macro 1\n0 move %s %s\n' $page_rect >"$macro"
cli play "$macro" >/dev/null || fail "play the move onto the page"
sleep 0.5
: >"$log"
cli start clicker >/dev/null || fail "start clicker over the page"
sleep 1
[ "$(status .clicker.waiting)" = true ] || fail "the clicker does not wait with the pointer on its window"
[ "$(status .clicker.clicks)" = 0 ] || fail "the clicker clicked its own window"
cli stop clicker >/dev/null
pass "the clicker waits while the pointer rests on the page window"

out=$(cli start record 2>&1) && fail "a recording started on Wayland: $out"
case "$out" in
  "Recording is not available on Wayland (sway): "*) ;;
  *) fail "start record said: $out" ;;
esac
[ "$(status .record.running)" = false ] || fail "the recording runs"
pass "recording is refused with the reason"

# A panel is a program of its own with a window of its own, which the compositor places.
"${as[@]}" "$app/ravelin" --child "Auto Clicker|clicker-panel|200|200|dark|" >"$tmp/panel.log" 2>&1 &
panel_pid=$!
title="Ravelin (Auto Clicker)"
for _ in $(seq 300); do tree_has_page && break; sleep 0.1; done
tree_has_page || fail "no panel window in sway's tree: $(tail -5 "$tmp/panel.log")"
kill "$panel_pid"
wait "$panel_pid" 2>/dev/null
panel_pid=""
pass "a panel comes up as a Wayland window of its own"

# The compositor's close (the window's close button) ends the program.
as swaymsg '[app_id=ravelin] kill' >/dev/null
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end when its window was closed"
wait "$app_pid" 2>/dev/null
app_pid=""
pass "closing the window ends the program"
