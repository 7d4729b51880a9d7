#!/usr/bin/env bash
# Runs a command on a private Xvfb display of its own, started here and always stopped at the end,
# with HOME and the XDG folders in a fresh temporary folder so the user's files are never touched.
set -u
work=$(mktemp -d "${TMPDIR:-/tmp}/ravelin-test.XXXXXX")
cleanup() {
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 3>"$work/display" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.05
done
if [ ! -s "$work/display" ]; then
  echo "with_xvfb: Xvfb did not start" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"
mkdir -p "$work/home" "$work/data" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
export HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
export RAVELIN_TEST_TMP="$work"
# Windows tests: the caller's Wine prefix, else the build folder's (never the user's own ~/.wine).
[ -n "${RAVELIN_DEFAULT_WINEPREFIX:-}" ] && export WINEPREFIX="${WINEPREFIX:-$RAVELIN_DEFAULT_WINEPREFIX}"
"$@"
