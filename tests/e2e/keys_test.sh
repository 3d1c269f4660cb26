#!/usr/bin/env bash
# Key-script runs: steering, speed steps held over many frames, the stop key, and the quit prompt;
# the speed reached is what config.dat keeps. Usage: keys_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM
PROGRAM="$1" DATA="$2" SHIM="$3"
source "$(dirname "$0")/lib.sh"

# run_keys SPEED SCRIPT-LINES...: config.dat with that speed, the script replayed, the program must
# end through the quit prompt (no frame limit).
run_keys() {
    local speed_bits="$1"
    shift
    fresh_data
    cfg="$data/config.dat"
    cp "$data/default.dat" "$cfg"
    set_i32 "$cfg" 36 "$speed_bits"
    printf '%s\n' "$@" >"$work/run.keys"
    run_program 120 --no-dialog --keys "$work/run.keys" --fixed-step 0.02 --seed 2
    check "exit status" "$status" 0
    [ "$status" -eq 0 ] || show_output
}

# IEEE-754 single bits of small whole numbers.
bits_10=1092616192  # 10.0
bits_2=1073741824   # 2.0

echo "-- steering, then cursor up held for 40 reads, then quit"
run_keys $bits_10 '10-19: Left' '20-24: F' '25-29: PageUp' '30-34: T' '40-79: Up' \
    '100-104: Escape' '110-114: Return'
speed="$(f32 "$cfg" 36)"
# At most one step per frame and at most about 50 steps a second: the 40 reads give between 10
# and 40 steps.
check_true "speed raised by 10 to 40 steps (got $speed)" \
    awk -v s="$speed" 'BEGIN { exit !(s >= 20 && s <= 50 && s == int(s)) }'

echo "-- cursor down below zero: the speed is not bounded"
run_keys $bits_2 '10-69: Down' '100-104: Escape' '110-114: Return'
speed="$(f32 "$cfg" 36)"
check_true "speed negative (got $speed)" awk -v s="$speed" 'BEGIN { exit !(s < 0 && s == int(s)) }'

echo "-- Space stops, whatever was reached"
run_keys $bits_10 '10-49: Up' '60: Space' '100-104: Escape' '110-114: Return'
check "speed after Space" "$(f32 "$cfg" 36)" 0

echo "-- Escape twice hides the prompt again: Return alone must not quit, the frame limit ends it"
fresh_data
cfg="$data/config.dat"
cp "$data/default.dat" "$cfg"
printf '%s\n' '10-14: Escape' '20-24: Escape' '30-34: Return' '40-79: Up' >"$work/run.keys"
run_program 120 --no-dialog --keys "$work/run.keys" --fixed-step 0.02 --seed 2 --frames 120
check "exit status" "$status" 0
speed="$(f32 "$cfg" 36)"
before="$(f32 "$data/default.dat" 36)"
check_true "frames after the Return still ran (speed $before -> $speed)" \
    awk -v s="$speed" -v b="$before" 'BEGIN { exit !(s > b) }'

finish
