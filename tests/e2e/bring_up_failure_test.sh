#!/usr/bin/env bash
# On an X server without OpenGL no device can be made: the program says there is no usable graphics
# card, waits for the box to be answered and ends with exit status 1, without touching either settings
# file.
# Usage: bring_up_failure_test.sh PROGRAM DATA-FOLDER SHIM (run on a server started without GLX)
PROGRAM="$1" DATA="$2" SHIM="$3"
source "$(dirname "$0")/lib.sh"

echo "-- no OpenGL on the display"
fresh_data
cfg="$data/config.dat"
cp "$data/default.dat" "$cfg"
head -c 300 /dev/urandom >>"$cfg"
cp "$cfg" "$work/config.before"
cp "$data/default.dat" "$work/default.before"
ls -A "$data" >"$work/listing.before"
start_program 60 --no-dialog --frames 50 --fixed-step 0.02 --seed 1
wid="$(find_window '"Kelvane 3D"')"
check_true "an error box appeared" test -n "$wid"
[ -n "$wid" ] && answer_box "$wid"
wait_program
check "exit status" "$status" 1
[ "$status" -eq 1 ] || show_output
check "the one message" "$(cat "$work/messages")" \
    "Kelvane 3D|Couldn't find an usable 3d graphics card. Kelvane 3D will exit now."
check_true "config.dat untouched" cmp -s "$cfg" "$work/config.before"
check_true "default.dat untouched" cmp -s "$data/default.dat" "$work/default.before"
check_true "no file created" cmp -s <(ls -A "$data") "$work/listing.before"

finish
