#!/usr/bin/env bash
# A damaged data folder: every texture missing, cut short or random; every mesh missing, cut short,
# random or naming vertices and materials that do not exist; default.dat (with no config.dat) of
# 0, 1, 136, 137, 138 and 4096 bytes or random. The program must neither crash nor hang: it ends
# normally, untextured or with dead objects, names each damaged file once on stderr with its
# reason, and writes config.dat from what it read, with no fault resumed past. Then more road strips
# than the tables hold, refused before anything starts. Ends with a
# table of the cases. Usage: damaged_data_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM PNG-REGIONS
PROGRAM="$1" DATA="$2" SHIM="$3" REGIONS="$4"
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/damage.sh"
shot_args=(--no-dialog --frames 20 --fixed-step 0.033 --seed 1)
table=()

# The checks every damaged run must pass: a normal end, no box, a whole record written with the
# mode really set, default.dat as it was.
check_survived() {
    check "exit status" "$status" 0
    [ "$status" -eq 0 ] || show_output
    check_true "no sanitizer report" bash -c "! grep -qE 'Sanitizer|runtime error' '$work/err'"
    check "no message box" "$(cat "$work/messages")" ""
    cfg="$data/config.dat"
    check "config.dat written whole" "$(stat -c %s "$cfg" 2>/dev/null)" 137
    check "mode set" "$(i32 "$cfg" 0)x$(i32 "$cfg" 4)/$(i32 "$cfg" 8)" "1024x768/22"
    check "world size written" "$(f32 "$cfg" 32)" 64000
    check_true "default.dat unchanged" cmp -s "$data/default.dat" "$work/default.before"
}

# The total of faults the scene went on past, from the last run's statistics.
faults_resumed() { grep -oE '"faults_resumed": [0-9]+' "$work/stats" | grep -oE '[0-9]+$'; }

# One rectangle's summary of the last screenshot: mean R G B, per mille white, grey, coloured.
region() { "$REGIONS" "$work/shot.png" "$@" | tail -n1; }

# run_damaged NAME SORT KIND: all files of one sort damaged one way, one short run.
run_damaged() {
    local name="$1" before=$failures picture
    echo "-- $name"
    fresh_data
    cp "$data/default.dat" "$work/default.before"
    damage_all "$data" "$2" "$3"
    run_program 120 "${shot_args[@]}" --screenshot "$work/shot.png" --stats "$work/stats"
    check_survived
    check_true "screenshot written" test -s "$work/shot.png"
    # A loader turns a damaged file into a dead object or an untextured face, never into a fault.
    check "no fault resumed past" "$(faults_resumed)" "0"
    # One line per damaged file, each naming it with a reason: the same names, compared without
    # regard to letter case as the program finds files.
    local named damaged
    named="$(sed -n 's|^kelvane3d: cannot load .*/\([^/:]*\): .\+$|\1|p' "$work/err" | tr A-Z a-z | sort)"
    damaged="$(if [ "$2" = textures ]; then texture_files "$DATA"; else mesh_files "$DATA"; fi | tr A-Z a-z | sort)"
    check "each damaged file named once on stderr with a reason" "$named" "$damaged"
    check "no other line on stderr (but where the settings went)" \
        "$(grep -v '^kelvane3d: cannot load ' "$work/err" | grep -vc "^Kelvane 3D: settings saved to .*/3z-idaveva/config\.dat$")" 0
    echo "     $(grep -m1 'cannot load' "$work/err")"
    read -r sky_r sky_g sky_b sky_white _ _ <<<"$(region 0 30 1024 60)"
    read -r _ _ _ _ _ lane_colourful <<<"$(region 440 300 620 560)"
    read -r scene_r scene_g scene_b _ _ _ <<<"$(region 0 40 1024 768)"
    read -r _ _ _ hud_white _ _ <<<"$(region 0 0 400 20)"
    if [ "$2" = textures ]; then
        # Untextured, the materials that carried a texture show white and the others their colour.
        [ "$3" = missing ] && check_true "textured faces white (sky white $sky_white/1000)" \
            test "$sky_white" -ge 900
        check_true "vehicles still drawn in colour ($lane_colourful/1000)" test "$lane_colourful" -ge 15
        picture="sky $sky_r,$sky_g,$sky_b; vehicles coloured $lane_colourful/1000"
    else
        check_true "no object drawn (mean $scene_r,$scene_g,$scene_b)" \
            test $((scene_r + scene_g + scene_b)) -le 3
        check_true "status line still drawn (white $hud_white/1000)" test "$hud_white" -ge 20
        picture="scene mean $scene_r,$scene_g,$scene_b; status line white $hud_white/1000"
    fi
    [ "$failures" -eq "$before" ] || keep_damaged "$name"
    table+=("$name | exit $status | config.dat $(stat -c %s "$cfg" 2>/dev/null) bytes | $picture")
}

run_damaged "every texture missing" textures missing
run_damaged "every texture cut short" textures truncated
run_damaged "every texture random bytes" textures random
run_damaged "every mesh missing" meshes missing
run_damaged "every mesh cut short" meshes truncated
run_damaged "every mesh random bytes" meshes random
run_damaged "every mesh with an index out of range" meshes bad_index

# same_bytes A B OFFSET COUNT
same_bytes() { cmp -s <(text "$1" "$3" "$4") <(text "$2" "$3" "$4"); }

# run_default NAME: default.dat as made by the caller in $work/default.dat, no config.dat.
run_default() {
    local name="$1" before=$failures ran
    echo "-- default.dat $name"
    fresh_data
    cp "$work/default.dat" "$data/default.dat"
    cp "$data/default.dat" "$work/default.before"
    # What the record reads as: the first 137 bytes, missing ones as zeros.
    { head -c 137 "$data/default.dat"; head -c 137 /dev/zero; } | head -c 137 >"$work/record"
    run_program 120 "${shot_args[@]}" --stats "$work/stats"
    check_survived
    # Random fields are read within their ranges; none of them makes the scene fault.
    check "no fault resumed past" "$(faults_resumed)" "0"
    # Carried over: the paddings, the speed (no key was pressed), the round limit, the spare
    # fields and camera mode, and the resolution typed (unchanged) in the dialog.
    local span
    for span in "18 2" "30 2" "36 4" "40 4" "48 74" "124 8"; do
        # shellcheck disable=SC2086
        check_true "bytes $span carried over" same_bytes "$cfg" "$work/record" $span
    done
    ran="$(grep -oE '"frames": [0-9]+' "$work/stats" 2>/dev/null | tr -d '"')"
    [ "$failures" -eq "$before" ] || keep_damaged "default-$name"
    table+=("default.dat $name | exit $status | config.dat $(stat -c %s "$cfg" 2>/dev/null) bytes |\
 round limit $(i32 "$work/record" 40), speed $(f32 "$work/record" 36), camera mode $(i32 "$work/record" 52),\
 ${ran:-no frame count}")
}

original="$DATA/default.dat"
: >"$work/default.dat"
run_default "of 0 bytes"
head -c 1 "$original" >"$work/default.dat"
run_default "of 1 byte"
head -c 136 "$original" >"$work/default.dat"
run_default "of 136 bytes"
# The missing last character reads as a zero character, which ends the text: it comes back blank.
check "aspect text ended early" "$(text "$cfg" 132 5)" "$(text "$original" 132 4) "
cp "$original" "$work/default.dat"
run_default "of 137 bytes"
check "aspect text carried over" "$(text "$cfg" 132 5)" "$(text "$original" 132 5)"
{ cat "$original"; printf 'x'; } >"$work/default.dat"
run_default "of 138 bytes"
{ cat "$original"; head -c $((4096 - 137)) /dev/urandom; } >"$work/default.dat"
run_default "of 4096 bytes"
head -c 137 /dev/urandom >"$work/default.dat"
run_default "of 137 random bytes"
# The same, but with a round limit of 1 so that the scene surely runs on the random fields.
head -c 137 /dev/urandom >"$work/default.dat"
set_i32 "$work/default.dat" 40 1
run_default "of 137 random bytes, round limit 1"

# More road strips than the tables hold is refused before anything starts: no window, no file.
echo "-- 490 road strips: refused"
fresh_data
rm -f "$data/config.dat"
run_program 60 --no-dialog --frames 5 --roads 490
check "exit status" "$status" 2
check_true "names the range" grep -qF "at most 251" "$work/err"
check_true "no config.dat" test ! -e "$data/config.dat"
table+=("490 road strips | exit $status")

echo "-- cases and outcomes"
printf '%s\n' "${table[@]}"
finish
