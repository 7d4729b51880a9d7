# Sourced by the tests that run Ravelin.exe under Wine up to one of its message boxes (Wine has no
# WebView2 runtime, so a start that gets past loading its libraries ends in a box). The caller defines
# fail(), which kills $pid when it is set, and sets $log, where Wine's output goes.

# box_start EXE [OVERRIDES]: starts EXE with the message-box trace on (it carries the box's text, so a
# test can tell which failure was reported); sets $pid. OVERRIDES are added to the DLL overrides.
box_start() {
  WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winedbg.exe=d${2:+;$2}" WINEDEBUG=trace+msgbox wine "$1" >"$log" 2>&1 &
  pid=$!
}

# box_wait TEXT: waits up to 60 s for the box titled Ravelin, sets $box, and checks that its text holds
# TEXT. The program ending first is a failure.
box_wait() {
  box=""
  for _ in $(seq 200); do
    box=$(xdotool search --name '^Ravelin$' 2>/dev/null | head -n 1)
    [ -n "$box" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended without showing a box"
    sleep 0.3
  done
  [ -n "$box" ] || fail "no box titled Ravelin appeared within 60 s"
  grep -a 'MSGBOX_OnInit' "$log" | grep -qF -- "$1" || fail "the box does not say: $1"
}

# box_answer CODE: answers the box with Return (focusing it first when a key sent to it is not taken),
# waits for the program to end and checks its exit code.
box_answer() {
  local attempt code
  for attempt in 1 2 3; do
    if [ "$attempt" -eq 1 ]; then
      xdotool key --window "$box" Return 2>/dev/null
    else
      xdotool windowfocus "$box" 2>/dev/null
      xdotool key Return 2>/dev/null
    fi
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break 2
      sleep 0.1
    done
  done
  kill -0 "$pid" 2>/dev/null && fail "the program did not end after its box was answered"
  wait "$pid"
  code=$?
  pid=""
  [ "$code" -eq "$1" ] || fail "exit code $code, expected $1"
}
