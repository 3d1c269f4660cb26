#!/usr/bin/env bash
# Starts that end before the scene, each with its exit status and its message: no settings file (one
# error box, answered with Return), no display, a display that cannot be reached, a key script that
# cannot be read, a --traffic-parameters file that is missing or has a bad line, a scenario with the
# wrong model, a ring option without the ring, loop detectors on the program's own traffic or into a
# folder that does not exist. None of them writes a settings file. A bad line in the
# parameters file beside config.dat is only warned about. Then a width typed in the dialog that is
# not a number: the dialog refuses it and stays open, and takes the corrected one.
# Usage: start_failures_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM
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
check "exit status" "$status" 1
check "the one message" "$(cat "$work/messages")" \
    "Kelvane 3D|Couldn't load the game. Kelvane 3D will exit now."
check_true "no file created" cmp -s <(ls -A "$data") "$work/listing.before"

echo "-- no display"
fresh_data
rm -f "$data/config.dat"
DISPLAY="" WAYLAND_DISPLAY="" run_program 60 --no-dialog --frames 50
check "exit status" "$status" 1
check "the first line on stderr names the cause" "$(head -n1 "$work/err")" \
    "kelvane3d: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set)"
check "nothing about a message box" "$(grep -c "message box" "$work/err")" 0
check_true "no config.dat" test ! -e "$data/config.dat"

echo "-- a display that cannot be reached, with the dialog"
# SDL would fall back to drawing into nothing: the dialog then waited, unseen, for ever.
fresh_data
unreachable=1
while [ -e "/tmp/.X11-unix/X$unreachable" ] || [ -e "/tmp/.X$unreachable-lock" ]; do
    unreachable=$((unreachable + 1))
done
DISPLAY=":$unreachable" WAYLAND_DISPLAY="" run_program 20
check "exit status" "$status" 1
check_true "names the display on stderr" grep -qF "DISPLAY \":$unreachable\"" "$work/err"

echo "-- a key script that cannot be read"
fresh_data
rm -f "$data/config.dat"
run_program 60 --no-dialog --frames 50 --keys "$work/no-such.keys"
check "refused as a bad option value" "$status" 2
check_true "says which file on stderr" grep -qF "no-such.keys" "$work/err"
check "no box" "$(cat "$work/messages")" ""
check_true "no config.dat" test ! -e "$data/config.dat"

echo "-- what the command line names and cannot be honoured: refused before the start"
printf '%s\n' '# edited by hand' 'politeness = 7' >"$work/bad-line.txt"
# refused EXPECTED-FIRST-LINE OPTION...
refused() {
    local expected="$1"
    shift
    fresh_data
    ls -Al --time-style=full-iso "$data" >"$work/listing.before"
    run_program 60 --no-dialog --frames 5 "$@"
    check "$* -> exit status" "$status" 2
    check "$* -> the line on stderr" "$(head -n1 "$work/err")" "$expected"
    check_true "$* -> config.dat untouched" cmp -s <(ls -Al --time-style=full-iso "$data") "$work/listing.before"
}
refused "kelvane3d: $work/bad-line.txt:2: politeness = 7 is outside 0 to 1" \
    --traffic-model idm --traffic-parameters "$work/bad-line.txt"
refused "kelvane3d: $work/nothing.txt: no such file" --traffic-parameters "$work/nothing.txt"
refused "kelvane3d: options --scenario ring and --traffic-model classic do not go together"\
" (a scenario runs the car-following model, idm)" --scenario ring --traffic-model classic
refused "kelvane3d: option --ring-length needs --scenario ring" --traffic-model idm --ring-length 300
refused "kelvane3d: option --detectors needs the car-following model (--traffic-model idm, or --scenario ring,"\
" roadworks or onramp)" --traffic-model classic --detectors "$work/loops.csv"
refused "kelvane3d: cannot write the detectors file '$work/missing/loops.csv': No such file or directory" \
    --scenario roadworks --detectors "$work/missing/loops.csv"

echo "-- the same bad line in the file beside config.dat: said, and the run goes on"
fresh_data
cp "$work/bad-line.txt" "$data/traffic-model.txt"
run_program 60 --no-dialog --frames 5
check "exit status" "$status" 0
check_true "the line is named on stderr" \
    grep -qF "traffic-model.txt: line 2: politeness = 7 is outside 0 to 1 (the defaults stay for those)" "$work/err"

echo "-- a width typed in the dialog that is not a number, then corrected"
fresh_data
rm -f "$data/config.dat"
# A key script stands in for the keyboard: with no window manager nothing hands the main window
# the focus once the dialog has gone.
printf '0-1: Space\n' >"$work/idle.keys"
start_program 120 --frames 50 --keys "$work/idle.keys"
wid="$(find_window '"Param')"
check_true "the dialog appeared" test -n "$wid"
if [ -n "$wid" ]; then
    xdotool windowfocus "$wid" 2>/dev/null
    sleep 0.3
    xdotool type --delay 20 'abc'
    xdotool key Return
    sleep 1.5
    check_true "refused: the dialog is still open" test -n "$(window_named '"Param' 1)"
    check_true "refused: no config.dat yet" test ! -e "$data/config.dat"
    # The wrong field has the keyboard, its text selected.
    xdotool type --delay 20 '1024'
    xdotool key Return
fi
wait_program
check "exit status after the correction" "$status" 0
[ "$status" -eq 0 ] || show_output
check "the corrected width written" "$(i32 "$data/config.dat" 124)" 1024
check "no box" "$(cat "$work/messages")" ""

finish
