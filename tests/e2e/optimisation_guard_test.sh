#!/usr/bin/env bash
# The shortcuts taken for speed must change nothing the user sees: a fixed-seed, fixed-step run of
# 200 frames with three roads leaves the same traffic tables and the same last picture as the same
# run with KL_NO_OPTIMISATIONS=1 (plain traffic scan, one mesh parse per object, whole buildings
# drawn one after another, every material handed to GL even when unchanged).
# Usage: optimisation_guard_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM
PROGRAM="$1" DATA="$2" SHIM="$3"
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
check_true "last frames identical" cmp -s "$work/fast.png" "$work/plain.png"

finish
