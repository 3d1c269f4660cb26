#!/usr/bin/env bash
# The settings dialog of the real program, typed into with xdotool, then the scene left through the
# quit prompt: Escape then Return, once as key events to the program's window and once from a key
# script. config.dat holds what was typed, converted, and the mode really set.
# Usage: dialog_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM
PROGRAM="$1" DATA="$2" SHIM="$3"
source "$(dirname "$0")/lib.sh"

# Starts the program with the arguments, types the three texts into the dialog and confirms.
type_into_dialog() {
    local res_h="$1" res_v="$2" aspect="$3"
    shift 3
    start_program 120 "$@"
    local wid
    wid="$(find_window '"Param')"
    if [ -z "$wid" ]; then echo "FAIL no dialog"; failures=$((failures + 1)); return 1; fi
    xdotool windowfocus "$wid" 2>/dev/null
    sleep 0.3
    xdotool type --delay 20 "$res_h"
    xdotool key Tab
    xdotool type --delay 20 "$res_v"
    xdotool key Tab
    xdotool type --delay 20 "$aspect"
    xdotool key Return
}

# Holds a key down on the program's window long enough for several frames to see it.
press() {
    xdotool keydown --window "$1" "$2"
    sleep 0.4
    xdotool keyup --window "$1" "$2"
    sleep 0.4
}

echo "-- typed 1024 x 768 and 1.6; quit with Escape and Return on the program's window"
fresh_data
cfg="$data/config.dat"
cp "$data/default.dat" "$cfg"
set_i32 "$cfg" 124 640
set_i32 "$cfg" 128 480
if type_into_dialog 1024 768 1.6; then
    main="$(find_window '"Kelvane"')"
    check_true "main window found" test -n "$main"
    # Frames run by now once the scene has drawn a few; give the set-up time, then answer the prompt.
    for _ in $(seq 1 60); do
        [ -n "$main" ] || break
        kill -0 "$pid" 2>/dev/null || break
        xdotool windowactivate "$main" 2>/dev/null || xdotool windowfocus "$main" 2>/dev/null
        press "$main" Escape
        press "$main" Return
        sleep 0.5
    done
    wait_program
    check "exit status" "$status" 0
    [ "$status" -eq 0 ] || show_output
    check "typed ResH" "$(i32 "$cfg" 124)" 1024
    check "typed ResV" "$(i32 "$cfg" 128)" 768
    check "aspect with a comma" "$(text "$cfg" 132 5)" "1,6  "
    check "mode set" "$(i32 "$cfg" 0)x$(i32 "$cfg" 4)/$(i32 "$cfg" 8)" "1024x768/22"
    check "no message" "$(cat "$work/messages")" ""
fi

echo "-- typed an unlisted size and a long aspect; quit from a key script"
fresh_data
cfg="$data/config.dat"
cp "$data/default.dat" "$cfg"
printf '%s\n' '# quit prompt, then yes' '30-34: Escape' '40-44: Return' >"$work/quit.keys"
if type_into_dialog 1280 1024 1.23456789 --keys "$work/quit.keys" --fixed-step 0.02 --seed 3; then
    wait_program
    check "exit status" "$status" 0
    [ "$status" -eq 0 ] || show_output
    check "typed ResH" "$(i32 "$cfg" 124)" 1280
    check "typed ResV" "$(i32 "$cfg" 128)" 1024
    check "aspect cut, comma" "$(text "$cfg" 132 5)" "1,234"
    check "the screen's own mode instead of 1280x1024" \
        "$(i32 "$cfg" 0)x$(i32 "$cfg" 4)/$(i32 "$cfg" 8)" "1024x768/22"
    check "no message for the fallback" "$(cat "$work/messages")" ""
fi

finish
