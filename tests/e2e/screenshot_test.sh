#!/usr/bin/env bash
# Runs saving their last frame; the picture must show sky at the top, the road with traffic in the
# lower middle, buildings on both sides and the status line at the top left. Once at the default
# settings, once with a stored aspect ratio that is no positive number: width / height stands in,
# so the picture is the same, and stderr says so.
# Usage: screenshot_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM PNG-REGIONS
PROGRAM="$1" DATA="$2" SHIM="$3" REGIONS="$4"
source "$(dirname "$0")/lib.sh"

shoot() {
    shot="$work/shot.png"
    run_program 150 --no-dialog --frames 120 --seed 1 --fixed-step 0.033 --screenshot "$shot" --stats "$work/stats"
    check "exit status" "$status" 0
    [ "$status" -eq 0 ] || show_output
    # A clean run goes past no fault: none counted, none said.
    check "faults resumed past" "$(grep -oE '"faults_resumed": [0-9]+' "$work/stats")" '"faults_resumed": 0'
    check "no fault line on stderr" "$(grep -c 'resumed past' "$work/err")" 0
    check_true "screenshot written" test -s "$shot"
    # One line per rectangle: mean R G B, then per mille near-white, neutral grey, strongly coloured.
    "$REGIONS" "$shot" \
        420 20 600 120 \
        440 560 600 760 \
        440 300 620 560 \
        20 200 330 500 \
        880 200 1000 500 \
        0 0 400 20 >"$work/regions" || { echo "FAIL the screenshot cannot be read"; failures=$((failures + 1)); }
    cat "$work/regions"
    {
        read -r _ width height
        read -r sky_r _ sky_b _ _ _
        read -r road_r road_g road_b _ road_grey _
        read -r _ _ _ _ _ lane_colourful
        read -r left_r _ left_b _ left_grey _
        read -r right_r _ right_b _ right_grey _
        read -r _ _ _ text_white _ _
    } <"$work/regions"

    check "size" "${width:-}x${height:-}" "1024x768"
    check_true "sky blueish (R $sky_r, B $sky_b)" test "$sky_b" -gt $((sky_r + 20))
    check_true "road dark grey (mean $(((road_r + road_g + road_b) / 3)), grey $road_grey/1000)" \
        test "$road_grey" -ge 800 -a $(((road_r + road_g + road_b) / 3)) -le 110
    check_true "vehicles on the road ahead (coloured $lane_colourful/1000)" test "$lane_colourful" -ge 15
    check_true "buildings on the left (R $left_r, B $left_b, grey $left_grey/1000)" \
        test "$left_r" -gt $((left_b + 20)) -a "$left_grey" -lt 500
    check_true "buildings on the right (R $right_r, B $right_b, grey $right_grey/1000)" \
        test "$right_r" -gt $((right_b + 20)) -a "$right_grey" -lt 500
    check_true "status line text at the top left (white $text_white/1000)" test "$text_white" -ge 20
}

echo "-- default settings"
fresh_data
shoot

echo "-- a stored aspect ratio of 0"
fresh_data
cp "$data/default.dat" "$data/config.dat"
set_text "$data/config.dat" 132 "0    "
shoot
check_true "says so on stderr" grep -qF 'the aspect ratio "0" is not a positive number' "$work/err"
check "the stored text kept" "$(text "$data/config.dat" 132 5)" "0    "

finish
