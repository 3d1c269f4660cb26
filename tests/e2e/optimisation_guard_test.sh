#!/usr/bin/env bash
# The shortcuts taken for speed must change nothing the user sees: a fixed-seed, fixed-step run of
# 200 frames with three roads leaves the same traffic tables and the same last picture as the same
# run with KL_NO_OPTIMISATIONS=1 (plain traffic scan, one mesh parse per object, whole buildings
# drawn one after another with their own transforms, every vehicle in the view cone drawn, every
# material and texture handed to GL as it is). Two runs: steps of 0.033 s, and steps of 0.5 s, after
# which most vehicles are far ahead, many of them between the pixel centres. The buildings moved into
# place once at set-up land a rounding step away from where the per-building transform puts them,
# so a texel lookup on a texel edge may take the neighbour: single pixels may differ, no 8x8 block's
# mean colour may move by more than a few levels.
# Usage: optimisation_guard_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM PNG-DIFFERENCE
PROGRAM="$1" DATA="$2" SHIM="$3" PNG_DIFFERENCE="$4"
source "$(dirname "$0")/lib.sh"

run_case() { # NAME STEP [ENV=VALUE]
    local name="$1" step="$2"
    shift 2
    fresh_data
    export "$@"
    run_program 280 --no-dialog --roads 3 --frames 200 --seed 1 --fixed-step "$step" \
        --screenshot "$work/$name.png" --stats "$work/$name.json"
    unset KL_NO_OPTIMISATIONS
    check "$name run exit status" "$status" 0
    [ "$status" -eq 0 ] || show_output
}

digest() { sed -n 's/.*"traffic_digest": "\([0-9a-f]*\)".*/\1/p' "$1" 2>/dev/null; }

compare_runs() { # STEP
    local step="$1"
    run_case "fast-$step" "$step" KL_NO_OPTIMISATIONS=0
    run_case "plain-$step" "$step" KL_NO_OPTIMISATIONS=1
    local fast_digest
    fast_digest="$(digest "$work/fast-$step.json")"
    check_true "traffic digest written (steps of $step s)" test -n "$fast_digest"
    check "traffic tables after 200 frames of $step s" "$fast_digest" "$(digest "$work/plain-$step.json")"
    check_true "screenshots written (steps of $step s)" test -s "$work/fast-$step.png" -a -s "$work/plain-$step.png"
    local difference differing block
    difference="$("$PNG_DIFFERENCE" "$work/fast-$step.png" "$work/plain-$step.png")"
    echo "last frames, steps of $step s: $difference"
    differing="$(sed -n 's/^differing \([0-9]*\) .*/\1/p' <<<"$difference")"
    block="$(sed -n 's/.*largest block change \([0-9]*\).*/\1/p' <<<"$difference")"
    check_true "last frames compared (steps of $step s)" test -n "$differing" -a -n "$block"
    # At most 2 % of the pixels, and no block changed by more than 12 of 255 levels.
    check_true "last frames differ in single pixels only (${differing:-?} pixels, steps of $step s)" \
        test "${differing:-999999999}" -le 15728
    check_true "no block of the last frame changed (largest change ${block:-?}, steps of $step s)" \
        test "${block:-999}" -le 12
}

compare_runs 0.033
compare_runs 0.5

finish
