#!/usr/bin/env bash
# The settings dialog on a real X server (run under xvfb-run), driven like a user with xdotool:
# it opens filled in with the keyboard in its first field, Tab walks the fields, typing replaces
# a field's text, Return confirms, a wrong field keeps it open until corrected, and closing the
# window through the window manager ends it without confirming.
# Usage: frm_param_test.sh DIALOG-HELPER SEND-CLOSE-HELPER
set -uo pipefail
helper="$1"
send_close="$2"
out="$(mktemp)"
err="$(mktemp)"
trap 'rm -f "$out" "$err"' EXIT
failures=0
source "$(dirname "$0")/../support/x_windows.sh"

# Starts the helper, waits for the dialog and gives it the keyboard; sets $pid and $wid.
open_dialog() {
    : >"$out"
    timeout 60 "$helper" >"$out" 2>"$err" &
    pid=$!
    # Up to 30 s: under a loaded CI machine (the sanitizer build beside other suites) a dialog
    # has taken over 10 s to map.
    wid="$(WATCH_PID=$pid window_named '"Param' 300)"
    if [ -z "$wid" ]; then
        if kill -0 "$pid" 2>/dev/null; then
            echo "no dialog window appeared within 30 s"; kill "$pid"
        else
            wait "$pid"; echo "the dialog helper ended (status $?) before its window appeared"
        fi
        cat "$out" "$err"; return 1
    fi
    xdotool windowfocus "$wid" 2>/dev/null
    sleep 0.3
}

# Waits for the helper to end and compares what it printed with the expected lines.
expect_output() {
    local name="$1" expected="$2"
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        echo "FAIL $name: the dialog did not end"; kill "$pid"; failures=$((failures + 1)); return
    fi
    wait "$pid"
    local status=$?
    if [ "$status" -ne 0 ]; then
        echo "FAIL $name: exit status $status"; cat "$out" "$err"; failures=$((failures + 1))
    elif [ "$(cat "$out")" == "$expected" ]; then
        echo "PASS $name"
    else
        echo "FAIL $name: expected"; echo "$expected"; echo "got"; cat "$out" "$err"; failures=$((failures + 1))
    fi
}

echo "-- typing into every field, confirmed with Return"
if open_dialog; then
    xdotool type --delay 20 '1280'
    xdotool key Tab
    xdotool type --delay 20 '1024'
    xdotool key Tab
    xdotool type --delay 20 '1.6'
    xdotool key Tab
    xdotool type --delay 20 '12'
    xdotool key Return
    expect_output typed "result=Validated
txtResH=1280
txtResV=1024
txtaspect_ratio=1.6
nbr_sim=12"
else failures=$((failures + 1)); fi

echo "-- editing inside a field and going back with Shift+Tab"
if open_dialog; then
    xdotool key Tab Tab            # into the aspect field, its text selected
    xdotool key End BackSpace BackSpace
    xdotool type --delay 20 '5'    # "1,333" -> "1,35"
    xdotool key shift+Tab          # back to the vertical resolution
    xdotool type --delay 20 '720'
    xdotool key KP_Enter
    expect_output edited "result=Validated
txtResH=800
txtResV=720
txtaspect_ratio=1,35
nbr_sim=1"
else failures=$((failures + 1)); fi

echo "-- Return at once keeps the texts it was filled with"
if open_dialog; then
    xdotool key Return
    expect_output untouched "result=Validated
txtResH=800
txtResV=600
txtaspect_ratio=1,333
nbr_sim=1"
else failures=$((failures + 1)); fi

echo "-- each wrong field is refused, and the corrected form accepted"
# refused TEXT: types TEXT over the selected field and presses Return; the dialog must stay open.
refused() {
    xdotool type --delay 20 -- "$1"
    xdotool key Return
    sleep 0.7
    if kill -0 "$pid" 2>/dev/null; then
        echo "PASS refused '$1'"
    else
        echo "FAIL refused '$1': the dialog closed"; failures=$((failures + 1))
    fi
}
if open_dialog; then
    # After a refusal the wrong field has the keyboard, its text selected.
    refused 'abc'
    refused '639'
    xdotool type --delay 20 '1024'
    xdotool key Tab
    refused '479'
    xdotool type --delay 20 '768'
    xdotool key Tab
    refused '4:3'
    refused '0'
    refused '-2'
    xdotool key BackSpace
    refused ''
    xdotool type --delay 20 '1.6'
    xdotool key Tab
    refused '252'
    xdotool type --delay 20 '251'
    xdotool key Return
    expect_output corrected "result=Validated
txtResH=1024
txtResV=768
txtaspect_ratio=1.6
nbr_sim=251"
else failures=$((failures + 1)); fi

echo "-- closing the window is not a confirmation"
if open_dialog; then
    xdotool type --delay 20 '999'
    sleep 0.2
    "$send_close" "$wid"
    expect_output closed "result=Closed
txtResH=999
txtResV=600
txtaspect_ratio=1,333
nbr_sim=1"
else failures=$((failures + 1)); fi

[ "$failures" -eq 0 ] || { echo "$failures case(s) failed"; exit 1; }
