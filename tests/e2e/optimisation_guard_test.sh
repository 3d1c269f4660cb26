#!/usr/bin/env bash
# The shortcuts taken for speed must change nothing the user sees: a fixed-seed, fixed-step run of
# 200 frames with three roads leaves the same traffic tables and the same last picture as the same
# run with KL_NO_OPTIMISATIONS=1 (plain traffic scan, one mesh parse per object, whole buildings
# drawn one after another with their own transforms, every material handed to GL even when
# unchanged). The buildings moved into place once at set-up land a rounding step away from where
# the per-building transform puts them, so a texel lookup on a texel edge may take the neighbour:
# single pixels may differ, no 8x8 block's mean colour may move by more than a few levels.
# Usage: optimisation_guard_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM PNG-DIFFERENCE
PROGRAM="$1" DATA="$2" SHIM="$3" PNG_DIFFERENCE="$4"
source "$(dirname "$0")/lib.sh"

run_case() { # NAME [ENV=VALUE]
    local name="$1"
    shift
    fresh_data
    export "$@"
    run_program 280 --no-dialog --roads 3 --frames 200 --seed 1 --fixed-step 0.033 \
        --screenshot "$work/$name.png" --stats "$work/$name.json"
    unset KL_NO_OPTIMISATIONS
    check "$name run exit status" "$status" 0
    [ "$status" -eq 0 ] || show_output
}

run_case fast KL_NO_OPTIMISATIONS=0
run_case plain KL_NO_OPTIMISATIONS=1

digest() { sed -n 's/.*"traffic_digest": "\([0-9a-f]*\)".*/\1/p' "$1" 2>/dev/null; }
fast_digest="$(digest "$work/fast.json")"
check_true "traffic digest written" test -n "$fast_digest"
check "traffic tables after 200 frames" "$fast_digest" "$(digest "$work/plain.json")"
check_true "screenshots written" test -s "$work/fast.png" -a -s "$work/plain.png"
difference="$("$PNG_DIFFERENCE" "$work/fast.png" "$work/plain.png")"
echo "last frames: $difference"
differing="$(sed -n 's/^differing \([0-9]*\) .*/\1/p' <<<"$difference")"
block="$(sed -n 's/.*largest block change \([0-9]*\).*/\1/p' <<<"$difference")"
check_true "last frames compared" test -n "$differing" -a -n "$block"
# At most 2 % of the pixels, and no block changed by more than 12 of 255 levels.
check_true "last frames differ in single pixels only (${differing:-?} pixels)" \
    test "${differing:-999999999}" -le 15728
check_true "no block of the last frame changed (largest change ${block:-?})" test "${block:-999}" -le 12

finish
