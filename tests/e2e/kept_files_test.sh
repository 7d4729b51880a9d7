# Files the real program cannot write as it would like: an executable's folder that is read-only
# (installed under /opt) puts the preferences into $XDG_CONFIG_HOME/Tapforge, with the files left
# beside the executable read once; a full disk (a 256 kB file system) is said in the status the
# page shows, the change stays in memory, the close says it before the window goes, and a close
# after space was freed saves it. Needs its own mounts: runs as root in a mount namespace of its
# own, and is skipped elsewhere (the unit tests cover the same rules on the fake file layer).
if [ -z "${RAVELIN_IN_NAMESPACE:-}" ]; then
  if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then
    echo "skipped: needs root and a mount namespace"
    exit 0
  fi
  RAVELIN_IN_NAMESPACE=1 exec unshare -m bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh" "$1"
mount --make-rprivate / 2>/dev/null
app=$(install_copy)
unset LOCALAPPDATA
title="Ravelin (Veltra Edition)"
send="$build/tests/pipe_send_target"
[ -x "$send" ] || fail "missing $send"
config="$XDG_CONFIG_HOME/Tapforge"
data="$XDG_DATA_HOME/Tapforge"
session="$data/session.mcr"
trap 'cleanup_processes; umount "$app" "$XDG_DATA_HOME" 2>/dev/null' EXIT

# The clicker's milliseconds (the fourth settings field) in the session file.
saved_ms() { sed -n 's/^SETTINGS:\([^,]*,\)\{3\}\([^,]*\),.*/\2/p' "$session" | tr -d '\r'; }
start() {
  "$app/ravelin" >"$RAVELIN_TEST_TMP/$1.log" 2>&1 &
  app_pid=$!
  id=$(wait_window "$title" 30) || fail "main window not found ($1)"
  for _ in $(seq 300); do [ -f "$session" ] && break; sleep 0.05; done
  [ -f "$session" ] || fail "no session file after the start ($1)"
}
# Waits up to $2 seconds for the file $1 to hold the text $3.
wait_text() {
  for _ in $(seq $(($2 * 10))); do grep -qF "$3" "$1" 2>/dev/null && return 0; sleep 0.1; done
  return 1
}

# ---- a read-only executable folder -----------------------------------------------------------
printf 'dark' >"$app/theme.txt"
printf '7' >"$app/playback.txt"
mount --bind "$app" "$app" && mount -o remount,bind,ro "$app" || fail "could not make the folder read-only"
start readonly
"$xwin" close "$id"
wait_exit "$app_pid" 15 || fail "still running 15 s after its window was closed"
app_pid=""
[ "$(cat "$config/theme.txt" 2>/dev/null)" = dark ] || fail "theme.txt was not read from beside the executable"
[ "$(cat "$config/playback.txt" 2>/dev/null)" = 7 ] || fail "playback.txt was not read from beside the executable"
grep -q '^windowWidth=' "$config/appsettings.txt" 2>/dev/null || fail "appsettings.txt not written to $config"
[ -f "$config/status.txt" ] || fail "status.txt not written to $config"
umount "$app"
pass "read-only executable folder: preferences in \$XDG_CONFIG_HOME/Tapforge, files left beside it read once"

# ---- a full disk -------------------------------------------------------------------------------
mount -t tmpfs -o size=256k tmpfs "$XDG_DATA_HOME" || fail "could not mount a small file system"
start full
wait_text "$app/status.txt" 10 '"saveProblem":""' || fail "no status file before the disk filled"
good=$(cat "$session")
dd if=/dev/zero of="$XDG_DATA_HOME/filler" bs=4k 2>/dev/null
"$send" "changeSettings|sms=777" || fail "the change was not taken"
wait_text "$app/status.txt" 15 'Could not save: the disk is full — changes are kept in memory and saved when space is free' ||
  fail "the page was not told that the disk is full"
[ "$(cat "$session")" = "$good" ] || fail "the session file changed on the full disk"

# The first close keeps the window and says why, on standard error and in the page.
"$xwin" close "$id"
sleep 2
kill -0 "$app_pid" 2>/dev/null || fail "the window went without a word on the full disk"
grep -qF "the last changes are lost if the program closes now" "$RAVELIN_TEST_TMP/full.log" ||
  fail "standard error does not say the close could not save"
wait_text "$app/status.txt" 5 'the last changes are lost if the program closes now' ||
  fail "the page does not say the close could not save"

# Space freed: the next close saves the change and goes.
rm -f "$XDG_DATA_HOME/filler"
"$xwin" close "$id"
wait_exit "$app_pid" 15 || fail "still running 15 s after the second close"
app_pid=""
[ "$exit_code" = 0 ] || fail "exit code $exit_code after the second close"
[ "$(saved_ms)" = 777 ] || fail "the change made while the disk was full was lost ($(saved_ms) saved)"
pass "full disk: said in the page, kept in memory, said again at the close, saved once space was free"

# Still full at both closes: the second goes, and says what was lost.
start lost
dd if=/dev/zero of="$XDG_DATA_HOME/filler" bs=4k 2>/dev/null
"$send" "changeSettings|sms=555" || fail "the change was not taken"
"$xwin" close "$id"
sleep 2
"$xwin" close "$id"
wait_exit "$app_pid" 15 || fail "still running 15 s after the second close on a full disk"
app_pid=""
grep -qF "the last changes of this run are lost" "$RAVELIN_TEST_TMP/lost.log" ||
  fail "the lost change was not said when the program ended"
[ "$(saved_ms)" = 777 ] || fail "the session file is not the last good one"
pass "full disk at both closes: the window goes on the second, and the loss is said"
