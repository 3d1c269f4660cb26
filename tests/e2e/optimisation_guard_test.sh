#!/usr/bin/env bash
# The shortcuts taken for speed must change nothing the user sees: a fixed-seed, fixed-step run
# leaves the same traffic tables and the same last picture as the same run with
# KL_NO_OPTIMISATIONS=1 (plain traffic scan, one mesh parse per object, the sky and the ground drawn
# first, roads and buildings drawn whole one after another with their own transforms, every vehicle
# in the view cone drawn as its model with its own transform, every material and texture handed to
# GL as it is). Three roads for
# 200 frames, in steps of 0.033 s and of 0.5 s (after which most vehicles are far ahead, many of them
# between the pixel centres); with FULL, also 250 roads for 600 steps of 0.5 s (five minutes, the
# traffic spread over the whole street, most vehicles a pixel or two across and drawn as boxes).
# Geometry moved into place on the CPU lands a rounding step away from where a transform puts it,
# so a filtered texel lookup may round the other way (one level) and a decal a centimetre proud of
# a far vehicle may win or lose its depth test: few pixels may differ by more than one level, and no
# 8x8 block's mean colour may move by more than a few levels. A vehicle or road left out moves
# whole blocks.
# Usage: optimisation_guard_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM PNG-DIFFERENCE [FULL]
PROGRAM="$1" DATA="$2" SHIM="$3" PNG_DIFFERENCE="$4" FULL="${5:-}"
source "$(dirname "$0")/lib.sh"

run_case() { # NAME ROADS FRAMES STEP [ENV=VALUE]
    local name="$1" roads="$2" frames="$3" step="$4"
    shift 4
    fresh_data
    export "$@"
    run_program "$RUN_LIMIT" --no-dialog --roads "$roads" --frames "$frames" --seed 1 --fixed-step "$step" \
        --screenshot "$work/$name.png" --stats "$work/$name.json"
    unset KL_NO_OPTIMISATIONS
    check "$name run exit status" "$status" 0
    [ "$status" -eq 0 ] || show_output
}

# A limit against a hung run, not a speed test: the plain 250-road run draws every vehicle on its own
# and took over ten minutes on a loaded two-core machine.
RUN_LIMIT=600

digest() { sed -n 's/.*"traffic_digest": "\([0-9a-f]*\)".*/\1/p' "$1" 2>/dev/null; }

compare_runs() { # ROADS FRAMES STEP MOST-PIXELS MOST-BLOCK-CHANGE
    local roads="$1" frames="$2" step="$3" most_pixels="$4" most_block="$5"
    local what="$roads roads, $frames steps of $step s"
    run_case "fast-$roads-$step" "$roads" "$frames" "$step" KL_NO_OPTIMISATIONS=0
    run_case "plain-$roads-$step" "$roads" "$frames" "$step" KL_NO_OPTIMISATIONS=1
    local fast_digest
    fast_digest="$(digest "$work/fast-$roads-$step.json")"
    check_true "traffic digest written ($what)" test -n "$fast_digest"
    check "traffic tables ($what)" "$fast_digest" "$(digest "$work/plain-$roads-$step.json")"
    check_true "screenshots written ($what)" test -s "$work/fast-$roads-$step.png" -a -s "$work/plain-$roads-$step.png"
    local difference differing block
    difference="$("$PNG_DIFFERENCE" "$work/fast-$roads-$step.png" "$work/plain-$roads-$step.png")"
    echo "last frames, $what: $difference"
    differing="$(sed -n 's/.* by more than one level \([0-9]*\),.*/\1/p' <<<"$difference")"
    block="$(sed -n 's/.*largest block change \([0-9.]*\).*/\1/p' <<<"$difference")"
    check_true "last frames compared ($what)" test -n "$differing" -a -n "$block"
    check_true "last frames differ in few pixels (${differing:-?} by more than one level, $what)" \
        test "${differing:-999999999}" -le "$most_pixels"
    check_true "no block of the last frame changed (largest change ${block:-?}, $what)" \
        awk -v b="${block:-999}" -v m="$most_block" 'BEGIN { exit !(b <= m) }'
}

# 2 % of the pixels and 12 levels at three roads; at 250 roads 1 % and 6 levels.
compare_runs 3 200 0.033 15728 12
compare_runs 3 200 0.5 15728 12
[ -z "$FULL" ] || RUN_LIMIT=1800 compare_runs 250 600 0.5 7864 6

finish
