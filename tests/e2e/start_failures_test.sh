#!/usr/bin/env bash
# Starts that end before the scene: no settings file (one error box, answered with Return), a key
# script that cannot be read, a resolution typed in the dialog that is not a number. None of them
# writes a settings file. Usage: start_failures_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM
PROGRAM="$1" DATA="$2" SHIM="$3"
source "$(dirname "$0")/lib.sh"

echo "-- neither settings file"
fresh_data
rm -f "$data/config.dat" "$data/default.dat"
ls -A "$data" >"$work/listing.before"
start_program 60 --no-dialog
wid="$(find_window '"Kelvane 3D"')"
check_true "an error box appeared" test -n "$wid"
if [ -n "$wid" ]; then
    sleep 0.5
    check "boxes open at once" "$(count_windows '"Kelvane 3D"')" 1
    check_true "the program waits for the box" kill -0 "$pid"
    answer_box "$wid"
fi
wait_program
check "exit status" "$status" 0
check "the one message" "$(cat "$work/messages")" \
    "Kelvane 3D|Couldn't load the game. Kelvane 3D will exit now."
check_true "no file created" cmp -s <(ls -A "$data") "$work/listing.before"

echo "-- a key script that cannot be read"
fresh_data
rm -f "$data/config.dat"
run_program 60 --no-dialog --frames 50 --keys "$work/no-such.keys"
check "refused as a bad option value" "$status" 2
check_true "says which file on stderr" grep -qF "no-such.keys" "$work/err"
check "no box" "$(cat "$work/messages")" ""
check_true "no config.dat" test ! -e "$data/config.dat"

echo "-- a resolution typed in the dialog that is not a number"
fresh_data
rm -f "$data/config.dat"
cp "$data/default.dat" "$work/default.before"
start_program 90 --frames 50
wid="$(find_window '"Param')"
check_true "the dialog appeared" test -n "$wid"
if [ -n "$wid" ]; then
    xdotool windowfocus "$wid" 2>/dev/null
    sleep 0.3
    xdotool type --delay 20 '12x4'
    xdotool key Return
fi
wait_program
check "exit status" "$status" 0
check "no box" "$(cat "$work/messages")" ""
check "nothing on stderr" "$(cat "$work/err")" ""
check_true "no config.dat" test ! -e "$data/config.dat"
check_true "default.dat unchanged" cmp -s "$data/default.dat" "$work/default.before"

finish
