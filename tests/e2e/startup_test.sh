# The real program starts, shows its titled window at its size, and ends with code 0 when the
# window is closed; with the page missing it reports the error and still ends cleanly.
source "$(dirname "$0")/lib.sh" "$1"
app=$(install_copy)
export LOCALAPPDATA="$RAVELIN_TEST_TMP/localappdata"

"$app/ravelin" >"$RAVELIN_TEST_TMP/out.log" 2>&1 &
pid=$!
id=$(wait_window "Ravelin (Veltra Edition)" 30) || fail "main window not found by its title"
read -r x y width height < <("$xwin" geometry "$id")
[ "$width" = 420 ] && [ "$height" = 560 ] || fail "window is ${width}x${height}, not 420x560"
sleep 4  # the page renders
import -window root "$RAVELIN_TEST_TMP/startup.png" 2>/dev/null && cp "$RAVELIN_TEST_TMP/startup.png" "$build/e2e-startup.png"
"$xwin" close "$id"
wait_exit "$pid" 10 || fail "still running 10 s after its window was closed"
[ "$exit_code" = 0 ] || fail "exit code $exit_code after closing the window"
pass "window found, 420x560, closed, exit code 0"

rm -rf "$app/ui"
"$app/ravelin" >"$RAVELIN_TEST_TMP/missing.log" 2>&1 &
pid=$!
id=$(wait_window "Ravelin (Veltra Edition)" 30) || fail "no window when the page is missing"
grep -q "UI Error: Failed to read:" "$RAVELIN_TEST_TMP/missing.log" || fail "missing page not reported"
grep -q "$app/ui/index.html" "$RAVELIN_TEST_TMP/missing.log" || fail "report lacks the full page path"
"$xwin" close "$id"
wait_exit "$pid" 10 || fail "still running after its window was closed (page missing)"
[ "$exit_code" = 0 ] || fail "exit code $exit_code with the page missing"
pass "missing page reported with its path, window closed, exit code 0"
