#!/usr/bin/env bash
# The whole program, end to end, through the page host: scenario.sh EXECUTABLE, where EXECUTABLE is
# ravelin-headless (Linux) or Ravelin-headless.exe (Windows, run under Wine). Runs on the private
# display and temporary folders of tests/support/with_xvfb.sh.
#
# Fresh data folder; the default settings; a faster clicker; F6 typed with xdotool starts and stops
# the clicker, whose clicks reach a target window of the test's own; F8 records typing into that
# window and F7 plays it back; a second profile; always-on-top and the start-up registration; a panel
# window whose changes reach the main instance over the pipe; close, exit code 0 and the files; a
# restart that restores them. A step that the platform cannot do here says why and the run goes on.
set -u
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
build=$(dirname "$exe")
windows=0
case "$exe" in *.exe) windows=1 ;; esac

# All Wine tests share one wineserver, so one desktop: they take turns.
if [ "$windows" = 1 ] && [ -z "${RAVELIN_WINE_DESKTOP_HELD:-}" ]; then
  RAVELIN_WINE_DESKTOP_HELD=1 exec flock "$build/wine-desktop.lock" bash "$0" "$@"
fi

work=$(mktemp -d "${RAVELIN_TEST_TMP:-${TMPDIR:-/tmp}}/scenario.XXXXXX")
step=""
fail() {
  echo "FAIL (${step:-setup}): $*" >&2
  [ -s "$work/host.err" ] && tail -n 20 "$work/host.err" >&2
  exit 1
}
pass() { echo "ok: $step${1:+ ($1)}"; }
# A step the platform cannot show here: said once, and the scenario goes on.
cannot() { echo "skipped: $step: $*"; }

# The prefix's shell folders as they were before the file dialog's step moved them.
restore_shell_folders() {
  [ -n "${shell_folders_moved:-}" ] || return 0
  local i=0 name
  for name in Desktop Personal; do
    [ -n "${shell_folders_kept[$i]}" ] &&
      wine reg add "$shell_folders_key" /v "$name" /t REG_EXPAND_SZ /d "${shell_folders_kept[$i]}" /f >/dev/null 2>&1
    i=$((i + 1))
  done
  shell_folders_moved=""
}

host_pid="" target_pid=""
cleanup() {
  restore_shell_folders
  [ -n "$target_pid" ] && kill "$target_pid" 2>/dev/null
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
  wait 2>/dev/null
  [ "$windows" = 1 ] && [ -n "${data:-}" ] && rm -rf "$data"
  rm -rf "$work"
}
trap cleanup EXIT

# ---- the install, the data folder and the platform's parts ------------------------------------------
app=$work/app
mkdir -p "$app" "$work/panels"
cp "$exe" "$app/" || fail "no executable $exe"
cp -r "$build/ui" "$app/" || fail "no ui folder beside the executable"
title="Ravelin (Veltra Edition)"
if [ "$windows" = 1 ]; then
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winedbg.exe=d"
  unset LOCALAPPDATA
  run=(wine "$app/$(basename "$exe")")
  target_program=(wine "$build/tests/wine_target.exe")
  local_app_data=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
  data=$(winepath -u "$local_app_data" 2>/dev/null)/Tapforge
  [ -n "$local_app_data" ] || fail "the Wine prefix names no LOCALAPPDATA"
  RAVELIN_HOST_PANELS=$(winepath -w "$work/panels")
else
  export LOCALAPPDATA=$work/localappdata
  mkdir -p "$LOCALAPPDATA"
  run=("$app/$(basename "$exe")")
  target_program=("$build/tests/timeline_target")
  data=$LOCALAPPDATA/Tapforge
  RAVELIN_HOST_PANELS=$work/panels
fi
export RAVELIN_HOST_PANELS
rm -rf "$data"

# Whether the program is registered to start at logon, as the platform shows it to anyone: on
# Windows a scheduler task "Tapforge (<user>)", which Wine keeps as a file of the prefix's task folder.
startup_registered() {
  if [ "$windows" = 1 ]; then
    compgen -G "${WINEPREFIX:-$HOME/.wine}/drive_c/windows/system32/tasks/Tapforge (*)" >/dev/null
  else
    [ -f "$XDG_CONFIG_HOME/autostart/Tapforge.desktop" ]
  fi
}

# ---- the host: one page call per line in, one JSON string per call out ------------------------------------

start_host() {
  coproc HOST { exec "${run[@]}" 2>>"$work/host.err"; }
  host_pid=$HOST_PID
  # The copies survive the coprocess, so its exit code can still be read and its pipe closed.
  exec {host_in}>&"${HOST[1]}" {host_out}<&"${HOST[0]}"
  # Only the copies stay open, so that closing host_in is the end of the program's input.
  eval "exec ${HOST[1]}>&- ${HOST[0]}<&-"
  for _ in $(seq 300); do
    main_window=$(xdotool search --name "^Ravelin \\(Veltra Edition\\)\$" 2>/dev/null | head -n 1)
    [ -n "$main_window" ] && return 0
    kill -0 "$host_pid" 2>/dev/null || fail "the program ended at start-up"
    sleep 0.1
  done
  fail "no window titled $title within 30 s"
}

# call NAME [JSON-ARRAY]: sets $result to the text the function returned.
call() {
  local reply
  printf '%s %s\n' "$1" "${2:-[]}" >&"$host_in" || fail "the program no longer takes calls ($1)"
  IFS= read -r -t 30 reply <&"$host_out" || fail "no answer to $1 ${2:-[]}"
  reply=${reply%$'\r'}
  case "$reply" in \"*) ;; *) fail "$1 answered: $reply" ;; esac
  result=$(jq -rj . <<<"$reply") || fail "$1 answered no JSON string: $reply"
}

# json FILTER: the filter applied to $result.
json() { jq -r "$1" <<<"$result"; }

# Calls $1 $2 until filter $3 of its result gives true, for up to 5 s.
call_until() {
  for _ in $(seq 50); do
    call "$1" "$2"
    [ "$(json "$3")" = true ] && return 0
    sleep 0.1
  done
  return 1
}

# Ends the program's input, after the line $1 if given; waits for the program to end and sets
# $exit_code.
end_host() {
  [ -n "${1:-}" ] && printf '%s\n' "$1" >&"$host_in"
  exec {host_in}>&-
  for _ in $(seq 200); do kill -0 "$host_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$host_pid" 2>/dev/null && fail "still running 20 s after the end of its input"
  wait "$host_pid"
  exit_code=$?
  host_pid=""
  exec {host_out}<&-
}

# ---- the target window: every click and key that reaches it, one line each --------------------------------

tx=1000 ty=100 tw=600 th=500
target_log=$work/target.log
start_target() {
  : >"$target_log"
  "${target_program[@]}" "Scenario Target" $tx $ty $tw $th >"$target_log" 2>>"$work/target.err" &
  target_pid=$!
  for _ in $(seq 300); do grep -q ready "$target_log" && break; sleep 0.1; done
  grep -q ready "$target_log" || fail "the target window did not come up"
  target_window=$(xdotool search --name '^Scenario Target$' 2>/dev/null | head -n 1)
  [ -n "$target_window" ] || fail "the target window has no X window"
  # Xvfb has no window manager: the focus follows a click, and keys go where the focus is.
  xdotool mousemove $((tx + tw / 2)) $((ty + th / 2)) sleep 0.2 click 1 sleep 0.2
  xdotool windowfocus "$target_window" 2>/dev/null
  sleep 0.5
}
mark() { wc -l <"$target_log"; }
# Waits up to 5 s for the keys typed into the target after line $1 to be $2.
typed_until() {
  for _ in $(seq 50); do
    [ "$(typed_after "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  return 1
}
# The Windows target writes its lines in text mode (CR LF).
after() { tail -n +"$(($1 + 1))" "$target_log" | tr -d '\r'; }
if [ "$windows" = 1 ]; then
  clicks_after() { after "$1" | grep -c "button down left"; }
  # The keys r, v, x as the window saw them: their scan codes.
  typed_after() { after "$1" | awk '$1 == "key" && $2 == "down" { print $3 }' | tr '\n' ' '; }
  typed_rvx="19 47 45 "
  typed_rv="19 47 "
  # Whether F6 (scan code 64) reached the target after line $1.
  f6_after() { after "$1" | awk '$1 == "key" && $2 == "down" && $3 == 64 { found = 1 } END { exit !found }'; }
else
  clicks_after() { after "$1" | grep -c "button press 1"; }
  typed_after() { after "$1" | awk '$2 == "key" && $3 == "press" { print $5 }' | tr '\n' ' '; }
  typed_rvx="r v x "
  typed_rv="r v "
  f6_after() { after "$1" | awk '$2 == "key" && $3 == "press" && $5 == "F6" { found = 1 } END { exit !found }'; }
fi

# ---- the first run ---------------------------------------------------------------------------------------

step="start with a fresh data folder"
start_host
[ -d "$data" ] || fail "no data folder $data"
pass "window $main_window"

step="getSettings shows the defaults"
call getSettings
[ "$(json '[.sh,.sm,.ss,.sms,.sbtn,.stype,.rptMode,.rptTimes,.locMode,.ksms,.tloopMs] | map(tostring) | join(",")')" = \
  "0,0,0,100,0,0,1,10,0,100,500" ] || fail "not the defaults: $result"
call getProfiles
[ "$(json '.names | join("|")')" = "Default Tracking Profile" ] || fail "profiles: $result"
pass

step="updateSpammer to 50 ms"
call updateSpammer '[0,0,0,50,0,0,1,10,0]'
[ -z "$result" ] || fail "updateSpammer returned $result"
call getSettings
[ "$(json '.sms')" = 50 ] && [ "$(json '.rptMode')" = 1 ] || fail "settings after the update: $result"
pass

step="F6 starts and stops the clicker"
start_target
before=$(mark)
xdotool key F6
call_until getTrackerStatus '[]' '.autoClicking' || fail "the status does not say autoClicking after F6: $result"
sleep 1
clicks=$(clicks_after "$before")
[ "$clicks" -ge 8 ] || fail "$clicks clicks reached the target in about 1 s at 50 ms"
xdotool key F6
call_until getTrackerStatus '[]' '.autoClicking | not' || fail "the status still says autoClicking after F6 again"
sleep 0.3
stopped=$(mark)
sleep 0.7
[ "$(clicks_after "$stopped")" = 0 ] || fail "clicks went on after the second F6"
pass "$clicks clicks in about 1 s"

step="in hold activation F6 runs the clicker while it is held"
call changeSettings '["clickActivation=1"]'
call getSettings
[ "$(json '.clickActivation')" = 1 ] || fail "changeSettings did not set clickActivation: $result"
before=$(mark)
xdotool keydown F6
sleep 1
xdotool keyup F6
call_until getTrackerStatus '[]' '.autoClicking | not' || fail "the status still says autoClicking after F6 was let go"
sleep 0.3
clicks=$(clicks_after "$before")
[ "$clicks" -ge 8 ] || fail "$clicks clicks reached the target while F6 was held for 1 s at 50 ms"
stopped=$(mark)
sleep 0.7
[ "$(clicks_after "$stopped")" = 0 ] || fail "clicks went on after F6 was let go"
call changeSettings '["clickActivation=0"]'
pass "$clicks clicks while held"

step="Ctrl+F6 taken as the clicker's hotkey toggles it; plain F6 passes to the window"
call reassignKey '["auto"]'
xdotool key ctrl+F6
call_until getTrackerStatus '[]' '.hkAuto == "Ctrl+F6"' || fail "the hotkey was not taken with its modifier: $result"
before=$(mark)
xdotool key F6
sleep 0.7
[ "$(clicks_after "$before")" = 0 ] || fail "plain F6 started the clicker of Ctrl+F6"
f6_after "$before" || fail "plain F6 did not reach the window"
before=$(mark)
xdotool key ctrl+F6
call_until getTrackerStatus '[]' '.autoClicking' || fail "the status does not say autoClicking after Ctrl+F6: $result"
sleep 0.5
xdotool key ctrl+F6
call_until getTrackerStatus '[]' '.autoClicking | not' || fail "the status still says autoClicking after Ctrl+F6 again"
clicks=$(clicks_after "$before")
[ "$clicks" -ge 4 ] || fail "$clicks clicks reached the target in about 0.5 s at 50 ms"
f6_after "$before" && fail "Ctrl+F6 reached the window"
call resetHotkeys
call getTrackerStatus
[ "$(json '.hkAuto')" = F6 ] || fail "resetHotkeys left $(json '.hkAuto')"
pass "$clicks clicks between two Ctrl+F6"

step="F8 records typing, F7 plays it back"
xdotool key F8
call_until getTrackerStatus '[]' '.state == "Recording"' || fail "F8 started no recording: $result"
typed=$(mark)
xdotool type --delay 150 rvx
typed_until "$typed" "$typed_rvx" || fail "the target saw '$(typed_after "$typed")' while typing"
xdotool key F8
call_until getTrackerStatus '[]' '.state == "Idle"' || fail "the second F8 did not end the recording: $result"
recorded=$(json '.count')
[ "$recorded" -ge 6 ] || fail "$recorded events recorded for three keys"
played=$(mark)
xdotool key F7
sleep 0.3
call_until getTrackerStatus '[]' '.state == "Idle"' || fail "the playback did not end"
typed_until "$played" "$typed_rvx" || fail "the playback gave '$(typed_after "$played")'"
pass "$recorded events"

step="the step editor's calls: the recording read, edited, saved and played, then brought back"
# Sets $result to the outcome of the macro job started by call $1 $2.
job_outcome() {
  call "$1" "${2:-[]}"
  local job=$result
  [ "$job" -gt 0 ] 2>/dev/null || fail "$1 started no job: $job"
  call_until getMacroJob "[$job]" '.done' || fail "job $job of $1 not done: $result"
}
job_outcome readRecording
[ "$(json '.ok')" = true ] || fail "readRecording: $result"
steps=$(json '.text')
[ "$(grep -c ' key-down [RVX] ' <<<"$steps")" = 3 ] || fail "the recording read as: $steps"
# The X typed last is taken out, as the editor's Delete does.
edited=$(grep -v ' key-\(down\|up\) X ' <<<"$steps")
job_outcome saveRecording "$(jq -Rsc '[.]' <<<"$edited")"
[ "$(json '.ok')" = true ] || fail "saveRecording: $result"
call getTrackerStatus
[ "$(json '.count')" = "$((recorded - 2))" ] || fail "after the edit: $result (recorded $recorded)"
job_outcome saveRecording '["Ravelin macro 1\n0 move 1 1\n5 jump\n"]'
[ "$(json '.ok')" = false ] && grep -q 'line 3: unknown step' <<<"$(json '.message')" || fail "a bad text: $result"
played=$(mark)
call playSteps '[0,-1]'
[ "$result" = true ] || fail "playSteps answered $result"
call_until getTrackerStatus '[]' '.state == "Playing"' || true
call_until getTrackerStatus '[]' '.state == "Idle"' || fail "the playback did not end"
typed_until "$played" "$typed_rv" || fail "the edited recording played '$(typed_after "$played")'"
call restoreRecording
[ "$result" = true ] || fail "restoreRecording answered $result"
call getTrackerStatus
[ "$(json '.count')" = "$recorded" ] || fail "the recording was not brought back: $result"
pass

step="the system's file dialog: a macro exported to the file typed into it, and imported back"
# Sets $result to the path chosen in the dialog that call chooseMacroFile $1 opens, titled $2, where
# $3 is typed (after what the name field held); "unavailable" where no dialog can be shown.
dialog_choice() {
  call chooseMacroFile "$1"
  local choice=$result
  [ "$choice" -gt 0 ] 2>/dev/null || fail "chooseMacroFile $1 answered $choice"
  local dialog=""
  for _ in $(seq 50); do
    call getMacroFileChoice "[$choice]"
    [ "$(json '.unavailable')" = true ] && { result=unavailable; return 0; }
    dialog=$(xdotool search --name "^$2\$" 2>/dev/null | head -n 1)
    [ -n "$dialog" ] && break
    sleep 0.1
  done
  [ -n "$dialog" ] || fail "no dialog \"$2\" came up: $result"
  sleep 0.5
  xdotool windowfocus "$dialog" 2>/dev/null
  sleep 0.3
  xdotool key End shift+Home
  xdotool type --delay 15 "$3"
  xdotool key Return
  call_until getMacroFileChoice "[$choice]" '.done' || fail "the dialog \"$2\" did not close: $result"
  result=$(json '.path')
}
# Wine's item dialog fails while it is made when the user's Desktop folder is missing, which it is in
# a test prefix made under another run's HOME: while this step runs, the Desktop and Documents are the
# scenario's own folder.
shell_folders_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
if [ "$windows" = 1 ] && [ "$(wine cmd /c 'if exist "%USERPROFILE%\Desktop\" (echo yes) else (echo no)' 2>/dev/null | tr -d '\r')" != yes ]; then
  mkdir -p "$work/desktop"
  shell_folders_kept=()
  for name in Desktop Personal; do
    shell_folders_kept+=("$(wine reg query "$shell_folders_key" /v "$name" 2>/dev/null | tr -d '\r' |
      sed -n 's/^.*REG_EXPAND_SZ[[:space:]]*//p')")
    wine reg add "$shell_folders_key" /v "$name" /t REG_EXPAND_SZ /d "$(winepath -w "$work/desktop")" /f >/dev/null 2>&1
  done
  shell_folders_moved=1
fi
mkdir -p "$work/elsewhere"
outside=$work/elsewhere/Dialog.rvm
typed=$outside
[ "$windows" = 1 ] && typed=$(winepath -w "$outside")
job_outcome saveMacro '["Dialog"]'
[ "$(json '.ok')" = true ] || fail "saveMacro: $result"
dialog_choice '["save","Dialog"]' 'Export "Dialog"' "$typed"
if [ "$result" = unavailable ]; then
  cannot "no file dialog in the test host here (no toolkit); the page takes a typed path"
else
  chosen=$result
  job_outcome exportMacro "$(jq -nc --arg path "$chosen" '["Dialog", $path, true]')"
  [ "$(json '.ok')" = true ] || fail "exportMacro to $chosen: $result"
  cmp -s "$data/macros/Dialog.rvm" "$outside" || fail "nothing, or something else, exported to $outside"
  dialog_choice '["open"]' 'Import a macro' "$typed"
  [ "$result" = "$chosen" ] || fail "the Open dialog chose $result, not $chosen"
  job_outcome importMacro "$(jq -nc --arg path "$result" '[$path]')"
  [ "$(json '.ok')" = true ] && [ "$(json '.name')" = "Dialog 2" ] || fail "importMacro: $result"
  cmp -s "$outside" "$data/macros/Dialog 2.rvm" || fail "the imported macro differs from the file"
  pass "exported to and imported from $chosen"
fi
restore_shell_folders

step="a profile added and switched"
call addProfile '["Second"]'
call getProfiles
[ "$(json '.names | join("|")')" = "Default Tracking Profile|Second" ] && [ "$(json '.current')" = 1 ] ||
  fail "after addProfile: $result"
call getTrackerStatus
[ "$(json '.count')" = 0 ] || fail "the new profile has events: $result"
call switchProfile '[0]'
call getProfiles
[ "$(json '.current')" = 0 ] || fail "after switchProfile: $result"
call getTrackerStatus
[ "$(json '.count')" = "$recorded" ] || fail "the first profile lost its recording: $result"
pass

step="always on top and the start-up registration"
call setAppSetting '["alwaysOnTop",1]'
call setAppSetting '["launchOnStartup",1]'
call getAppSettings
[ "$(json '.alwaysOnTop and .launchOnStartup')" = true ] || fail "getAppSettings: $result"
startup_registered || fail "setAppSetting launchOnStartup registered nothing"
pass
cannot "the window's place in the topmost band: the private display runs no window manager to keep one"

step="a panel window changes the main instance's settings over the pipe"
call openPanel '["Auto Clicker","clicker-panel",800,300]'
panel_window=""
for _ in $(seq 300); do
  panel_window=$(xdotool search --name '^Ravelin \(Auto Clicker\)$' 2>/dev/null | head -n 1)
  [ -n "$panel_window" ] && break
  sleep 0.1
done
[ -n "$panel_window" ] || fail "no panel window within 30 s"
# The panel stands beside the main window, whatever point the page gave: at its right edge, level
# with its top (the screen has room there). The main window's X window is its client area when the
# system draws the frame itself (Wine without a window manager), while the panel is placed by the
# outer frame: so its left edge lies at most a frame's width right of the client's right edge, and
# its top at most a title bar's height above the client's top.
read -r main_x main_y main_w < <(xdotool getwindowgeometry "$main_window" 2>/dev/null |
  awk '/Position/ { split($2, p, ","); x = p[1]; y = p[2] } /Geometry/ { split($2, g, "x"); w = g[1] } END { print x, y, w }')
beside_x=$((main_x + main_w))
beside() {
  local px=${1%,*} py=${1#*,}
  [ -n "$1" ] && [ "$px" -ge "$beside_x" ] && [ "$px" -le $((beside_x + 16)) ] &&
    [ "$py" -le "$main_y" ] && [ "$py" -ge $((main_y - 40)) ]
}
place=""
for _ in $(seq 30); do
  place=$(xdotool getwindowgeometry "$panel_window" 2>/dev/null | awk '/Position/ { print $2 }')
  beside "$place" && break
  sleep 0.1
done
beside "$place" || fail "the panel window stands at $place, not beside the main window's right edge $beside_x,$main_y"
echo 'updateSpammer [0,0,0,80,0,0,1,25,0]' >>"$work/panels/AutoClicker.in"
for _ in $(seq 100); do [ -s "$work/panels/AutoClicker.out" ] && break; sleep 0.1; done
[ "$(cat "$work/panels/AutoClicker.out" 2>/dev/null)" = '""' ] || fail "the panel answered: $(cat "$work/panels/AutoClicker.out" 2>/dev/null)"
call_until getSettings '[]' '.sms == 80 and .rptTimes == 25' || fail "the main instance did not take the panel's change: $result"
pass "panel at $place"

step="close ends the program with exit code 0"
kill "$target_pid" 2>/dev/null; wait "$target_pid" 2>/dev/null; target_pid=""
end_host close
[ "$exit_code" = 0 ] || fail "exit code $exit_code"
for _ in $(seq 50); do
  [ -z "$(xdotool search --name '^Ravelin \(Auto Clicker\)$' 2>/dev/null)" ] && break
  sleep 0.1
done
[ -z "$(xdotool search --name '^Ravelin \(Auto Clicker\)$' 2>/dev/null)" ] || fail "the panel outlived the main instance"
pass

step="the session file and appsettings.txt hold what was done"
session=$data/session.mcr
[ -f "$session" ] || fail "no $session"
# Every line ends with CR LF; the event lines are the recording's, whose times cannot be known.
[ "$(tr -cd '\n' <"$session" | wc -c)" = "$(grep -c $'\r$' "$session")" ] || fail "a line without CR LF"
expected_head=$'SETTINGS:0,0,0,80,0,0,1,25,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,100,1,10,120,32\r
CURRENT:0\r
PROFILE:Default Tracking Profile\r
PROFILESETTINGS:0,0,0,80,0,0,1,25,0,0,0,0,0,0,100,1,10,32\r'
[ "$(head -n 4 "$session")" = "$expected_head" ] || { cat -A "$session" >&2; fail "the session's first lines differ"; }
events=$(tail -n +5 "$session" | grep -c -E '^-?[0-9]+,[-0-9.e+]+,-?[0-9]+,-?[0-9]+,[0-9]+,-?[0-9]+,[01],-?[0-9]+'$'\r''$')
[ "$events" = "$recorded" ] || { cat -A "$session" >&2; fail "$events event lines, $recorded recorded"; }
[ "$(tail -n 2 "$session")" = $'PROFILE:Second\r
PROFILESETTINGS:0,0,0,50,0,0,1,10,0,0,0,0,0,0,100,1,10,32\r' ] || { cat -A "$session" >&2; fail "the second profile differs"; }
settings_file=$app/appsettings.txt
grep -q $'^alwaysOnTop=1\r$' "$settings_file" && grep -q $'^launchOnStartup=1\r$' "$settings_file" ||
  { cat -A "$settings_file" >&2; fail "appsettings.txt"; }
pass "$events events"

# ---- the second run ------------------------------------------------------------------------------------

step="a restart restores them"
start_host
call getSettings
[ "$(json '.sms')" = 80 ] && [ "$(json '.rptTimes')" = 25 ] || fail "settings after the restart: $result"
call getProfiles
[ "$(json '.names | join("|")')" = "Default Tracking Profile|Second" ] && [ "$(json '.current')" = 0 ] ||
  fail "profiles after the restart: $result"
call getTrackerStatus
[ "$(json '.count')" = "$recorded" ] || fail "the recording after the restart: $result"
call getAppSettings
[ "$(json '.alwaysOnTop and .launchOnStartup')" = true ] || fail "preferences after the restart: $result"
startup_registered || fail "the registration is gone after the restart"
call setAppSetting '["launchOnStartup",0]'
startup_registered && fail "launchOnStartup off left the registration"
# The end of the input closes the window as "close" does.
end_host
[ "$exit_code" = 0 ] || fail "exit code $exit_code at the end of input"
pass

echo "scenario: all steps passed"
