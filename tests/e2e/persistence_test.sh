# The session file of the real program: the first autosave of a fresh start, a prepared session
# beside the executable moved into the data folder and kept byte for byte across runs, and a
# SIGKILL in the middle of saving a large recording, after which the file still loads whole.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
unset LOCALAPPDATA
data="$XDG_DATA_HOME/Tapforge"
session="$data/session.mcr"
title="Ravelin (Veltra Edition)"
export LC_ALL=C

# The session file's identity and modification time (to the nanosecond), or "none".
stamp() { if [ -f "$session" ]; then stat -c '%i %y' "$session"; else echo none; fi; }
# Waits up to $2 seconds for a save to rewrite the session file; $1 is its stamp before.
wait_save() {
  local before=$1 seconds=${2:-15}
  for _ in $(seq $((seconds * 20))); do
    if [ -f "$session" ] && [ "$(stamp)" != "$before" ]; then sleep 0.5; return 0; fi
    sleep 0.05
  done
  return 1
}
# Lines with CR LF ends, from the arguments.
crlf() { printf '%s\r\n' "$@"; }
# Closes the window $1 and waits for process $2 to end with code 0.
close_app() {
  "$xwin" close "$1"
  wait_exit "$2" 15 || fail "still running 15 s after its window was closed"
  [ "$exit_code" = 0 ] || fail "exit code $exit_code after closing the window"
}

# ---- a fresh start writes the three lines of the defaults ----------------------------------
[ -e "$data" ] && fail "the data folder exists before the first start"
"$app/ravelin" >"$RAVELIN_TEST_TMP/fresh.log" 2>&1 &
pid=$!
id=$(wait_window "$title" 30) || fail "main window not found"
[ -d "$data" ] || fail "the data folder was not created at start"
wait_save none 15 || fail "no autosave within 15 s of the window showing"
crlf "SETTINGS:0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,100,1,10,120,32" \
  "CURRENT:0" "PROFILE:Default Tracking Profile" >"$RAVELIN_TEST_TMP/fresh.expected"
cmp "$session" "$RAVELIN_TEST_TMP/fresh.expected" || fail "first autosave is not the three default lines"
close_app "$id" "$pid"
cmp "$session" "$RAVELIN_TEST_TMP/fresh.expected" || fail "the shutdown save changed the default file"
pass "fresh start: data folder created, first autosave holds exactly the three default lines (CR LF)"

# ---- a prepared session beside the executable moves in and survives restarts ----------------
prepared="$RAVELIN_TEST_TMP/prepared.mcr"
crlf "SETTINGS:1,2,3,400,1,1,0,25,1,-640,480,0,1,0,1,1,0.5,1,250,122,121,0,120,0,1,2,300,0,7,119,65" \
  "CURRENT:1" \
  "PROFILE:first, with \"quotes\" and \\ backslash" \
  "PROFILESETTINGS:1,2,3,400,1,1,0,25,1,-640,480,0,1,2,300,0,7,65" \
  "0,0.016,100,200,0,0,0,0" "2,0.5,100,200,2,0,0,0" "2,0.6,100,200,4,0,0,0" \
  "PROFILE:second" \
  "PROFILESETTINGS:0,0,0,100,0,0,1,10,0,0,0,0,0,0,100,1,10,32" \
  "3,1,0,0,0,65,1,0" "3,1.1,0,0,0,65,0,0" "4,1234.57,0,0,0,0,0,-120" "2,2,5,6,128,5,0,0" >"$prepared"
rm -rf "$data"
mkdir -p "$data"
cp "$prepared" "$app/session.mcr"
"$app/ravelin" >"$RAVELIN_TEST_TMP/prepared.log" 2>&1 &
pid=$!
id=$(wait_window "$title" 30) || fail "main window not found (prepared session)"
[ -e "$app/session.mcr" ] && fail "the session file beside the executable was not moved"
cmp "$session" "$prepared" || fail "the moved session file differs from the prepared one"
before=$(stamp)
wait_save "$before" 15 || fail "no autosave within 15 s (prepared session)"
cmp "$session" "$prepared" || fail "the autosave after loading differs from the prepared file"
close_app "$id" "$pid"
cmp "$session" "$prepared" || fail "the shutdown save differs from the prepared file"

"$app/ravelin" >"$RAVELIN_TEST_TMP/restart.log" 2>&1 &
pid=$!
id=$(wait_window "$title" 30) || fail "main window not found (restart)"
before=$(stamp)
wait_save "$before" 15 || fail "no autosave within 15 s (restart)"
close_app "$id" "$pid"
cmp "$session" "$prepared" || fail "profiles, events or settings changed across a restart"
pass "session beside the executable moved in; settings, profiles and events kept byte for byte over two runs"

# ---- SIGKILL while a large recording is being saved -----------------------------------------
large="$RAVELIN_TEST_TMP/large.mcr"
{
  crlf "SETTINGS:0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,100,1,10,120,32" \
    "CURRENT:0" "PROFILE:big" "PROFILESETTINGS:0,0,0,100,0,0,1,10,0,0,0,0,0,0,100,1,10,32"
  awk 'BEGIN { for (i = 0; i < 300000; i++) printf "0,%g,%d,%d,0,0,0,0\r\n", i * 0.004, i % 1920, i % 1080 }'
  crlf "PROFILE:small" "3,1,0,0,0,65,1,0" "PROFILE:empty"
} >"$large"
events=300001
check_whole() {
  head -n1 "$session" | grep -q '^SETTINGS:' || fail "$1: the first line is not a settings line"
  [ "$(grep -c '^PROFILE:' "$session")" = 3 ] || fail "$1: not all three profiles are in the file"
  [ "$(grep -c '^[0-9]' "$session")" = "$events" ] || fail "$1: the file does not hold all $events events"
  [ "$(tail -c 2 "$session" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "$1: the file is cut short"
}

caught=0
for attempt in 1 2 3 4 5; do
  cp "$large" "$session"
  rm -f "$session.tmp"
  "$app/ravelin" >"$RAVELIN_TEST_TMP/kill.log" 2>&1 &
  pid=$!
  # Kill the program the moment a save starts writing: a temporary file appears beside the session
  # file, or (were the file written in place) the session file is truncated.
  deadline=$((SECONDS + 20))
  while [ ! -e "$session.tmp" ] && [ -s "$session" ] && [ $SECONDS -lt $deadline ]; do :; done
  kill -KILL "$pid"
  wait "$pid" 2>/dev/null
  [ $SECONDS -lt $deadline ] || fail "no save started within 20 s (attempt $attempt)"
  check_whole "after SIGKILL (attempt $attempt)"
  if [ -e "$session.tmp" ]; then caught=1; break; fi
done
[ "$caught" = 1 ] || fail "the kill never landed while a save was writing"

"$app/ravelin" >"$RAVELIN_TEST_TMP/after-kill.log" 2>&1 &
pid=$!
id=$(wait_window "$title" 30) || fail "main window not found after the kill"
before=$(stamp)
wait_save "$before" 15 || fail "no autosave within 15 s after the kill"
check_whole "reloaded after the kill"
close_app "$id" "$pid"
[ -e "$session.tmp" ] && fail "a temporary file is left after a clean run"
cmp "$session" "$large" || fail "the large session changed across the kill and a restart"
pass "SIGKILL during the save of $events events left a whole, loadable file (attempt $attempt)"
