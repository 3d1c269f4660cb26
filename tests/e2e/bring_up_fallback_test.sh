#!/usr/bin/env bash
# On a 16-bit screen (run under an X server with depth 16) the 32-bit mode the program always asks
# for is not listed: it goes on without a message in the screen's own mode, and that mode, not the
# requested one, is what config.dat keeps. Usage: bring_up_fallback_test.sh PROGRAM DATA-FOLDER SHIM
PROGRAM="$1" DATA="$2" SHIM="$3"
source "$(dirname "$0")/lib.sh"

echo "-- 1024x768 asked for in 32 bits on a 1024x768 16-bit screen"
fresh_data
cfg="$data/config.dat"
cp "$data/default.dat" "$cfg"
set_i32 "$cfg" 124 1024
set_i32 "$cfg" 128 768
run_program 150 --no-dialog --frames 60 --fixed-step 0.02 --seed 1
check "exit status" "$status" 0
[ "$status" -eq 0 ] || show_output
check "no message" "$(cat "$work/messages")" ""
check "mode written" "$(i32 "$cfg" 0)x$(i32 "$cfg" 4)/$(i32 "$cfg" 8)" "1024x768/23"
check "typed resolution kept" "$(i32 "$cfg" 124)x$(i32 "$cfg" 128)" "1024x768"

finish
