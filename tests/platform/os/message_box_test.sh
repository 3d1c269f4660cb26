#!/usr/bin/env bash
# The error box on a real X server: it appears with its UTF-8 title, blocks its caller until Return
# closes it, and the caller then goes on. Runs under xvfb-run; usage: message_box_test.sh HELPER
set -uo pipefail
helper="$1"
title="Kelvane 3D é"
text="Couldn't load the game. Kelvane 3D will exit now."
out="$(mktemp)"
trap 'rm -f "$out"' EXIT

timeout 30 "$helper" "$title" "$text" >"$out" 2>&1 &
pid=$!

source "$(dirname "$0")/../../support/x_windows.sh"
wid="$(WATCH_PID=$pid window_named '"Kelvane 3D' 300)"
if [ -z "$wid" ]; then
    echo "FAIL: no message box window appeared"; cat "$out"; kill "$pid" 2>/dev/null; exit 1
fi
# The box must still be waiting: its caller has printed nothing yet.
sleep 0.3
if [ -s "$out" ]; then echo "FAIL: the caller went on before the box was closed"; cat "$out"; exit 1; fi
if ! kill -0 "$pid" 2>/dev/null; then echo "FAIL: the caller ended while the box was open"; exit 1; fi

xdotool windowfocus "$wid" 2>/dev/null
for _ in $(seq 1 20); do
    xdotool key --clearmodifiers Return
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.25
done
wait "$pid"
status=$?
if [ "$status" -ne 0 ]; then echo "FAIL: helper exit status $status"; cat "$out"; exit 1; fi
if [ "$(cat "$out")" != "shown" ]; then echo "FAIL: expected 'shown', got:"; cat "$out"; exit 1; fi
echo "PASS: box $wid shown and closed with Return"
