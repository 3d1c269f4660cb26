#!/usr/bin/env bash
# Plain runs without the dialog on a 1024x768x24 X server: the settings file written at the end holds
# the mode really set and the typed resolution, keeps what it carries over and any longer tail, and
# default.dat is never touched. Usage: settings_run_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM
PROGRAM="$1" DATA="$2" SHIM="$3"
source "$(dirname "$0")/lib.sh"
run_args=(--no-dialog --frames 300 --fixed-step 0.02 --seed 1)

echo "-- config.dat asking for an unlisted mode, with a tail beyond the record"
fresh_data
cfg="$data/config.dat"
cp "$data/default.dat" "$cfg"
set_i32 "$cfg" 0 640
set_i32 "$cfg" 4 480
set_i32 "$cfg" 8 23
set_i32 "$cfg" 12 2         # anti-aliasing, reset at every start
set_i32 "$cfg" 20 7         # clear mode, reset at every start
set_i32 "$cfg" 32 5         # world size bits, rewritten at every start
set_i32 "$cfg" 124 800
set_i32 "$cfg" 128 600
set_text "$cfg" 132 "1,25 "
set_text "$cfg" 58 "carried over 0123456789"
printf 'TAIL-BEYOND-THE-RECORD-%s' "$(seq -s, 1 20)" >>"$cfg"
cp "$cfg" "$work/before.dat"
cp "$data/default.dat" "$work/default.before"

run_program 150 "${run_args[@]}"
check "exit status" "$status" 0
[ "$status" -eq 0 ] || show_output
check "mode width set" "$(i32 "$cfg" 0)" 1024
check "mode height set" "$(i32 "$cfg" 4)" 768
check "mode format set" "$(i32 "$cfg" 8)" 22
check "anti-aliasing" "$(i32 "$cfg" 12)" 0
check "clear mode" "$(i32 "$cfg" 20)" 0
check "spare at 24" "$(i16 "$cfg" 24)" -1
check "world size" "$(f32 "$cfg" 32)" 64000
check "typed ResH kept" "$(i32 "$cfg" 124)" 800
check "typed ResV kept" "$(i32 "$cfg" 128)" 600
check "aspect text" "$(text "$cfg" 132 5)" "1,25 "
check "speed unchanged without keys" "$(f32 "$cfg" 36)" "$(f32 "$work/before.dat" 36)"
check "round limit to spare text carried over" "$(text "$cfg" 40 4; text "$cfg" 48 74 | od -An -tx1)" \
    "$(text "$work/before.dat" 40 4; text "$work/before.dat" 48 74 | od -An -tx1)"
check "file size" "$(stat -c %s "$cfg")" "$(stat -c %s "$work/before.dat")"
check_true "tail kept" cmp -s <(tail -c +138 "$cfg") <(tail -c +138 "$work/before.dat")
check_true "default.dat unchanged" cmp -s "$data/default.dat" "$work/default.before"
check "no message" "$(cat "$work/messages")" ""

echo "-- only default.dat: config.dat is made from it, default.dat stays as it was"
fresh_data
cp "$data/default.dat" "$work/default.before"
run_program 150 "${run_args[@]}"
check "exit status" "$status" 0
cfg="$data/config.dat"
check_true "config.dat created" test -f "$cfg"
check "config.dat size" "$(stat -c %s "$cfg" 2>/dev/null)" 137
check "mode" "$(i32 "$cfg" 0)x$(i32 "$cfg" 4)/$(i32 "$cfg" 8)" "1024x768/22"
check "ResH from default.dat" "$(i32 "$cfg" 124)" "$(i32 "$data/default.dat" 124)"
check "ResV from default.dat" "$(i32 "$cfg" 128)" "$(i32 "$data/default.dat" 128)"
check "aspect from default.dat" "$(text "$cfg" 132 5)" "$(text "$data/default.dat" 132 5)"
check_true "default.dat unchanged" cmp -s "$data/default.dat" "$work/default.before"

echo "-- a config.dat cut short: the missing bytes read as zeros (a 0 by 0 request), the whole record is written"
fresh_data
head -c 60 "$data/default.dat" >"$data/config.dat"
run_program 60 "${run_args[@]}"
check "exit status" "$status" 0
check "config.dat completed" "$(stat -c %s "$data/config.dat")" 137
check "typed ResH from the missing bytes" "$(i32 "$data/config.dat" 124)" 0
check "fallback mode" "$(i32 "$data/config.dat" 0)x$(i32 "$data/config.dat" 4)" "1024x768"

finish
