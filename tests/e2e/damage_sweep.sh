#!/usr/bin/env bash
# By hand, not in ctest (about 700 runs): every data file damaged on its own in every way, one short
# run each, and a line per run: file, damage, exit status, config.dat size. A run fails when it does
# not end with status 0, leaves a sanitizer report or does not write a whole config.dat.
# Usage (from the repository): xvfb-run -a -s '-screen 0 1024x768x24' bash tests/e2e/damage_sweep.sh \
#     build/dev/src/app/kelvane3d build/dev/3z-idaveva build/dev/tests/e2e/libkl_message_log_shim.so
# Give absolute paths. KINDS (default "missing truncated random") limits the damage done.
PROGRAM="$1" DATA="$2" SHIM="$3"
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/damage.sh"
kinds=(${KINDS:-missing truncated random})

sweep_one() {
    local file="$1" kind="$2" n="$3" before=$failures
    fresh_data
    damage_file "$data/$file" "$kind" "$n"
    run_program 120 --no-dialog --frames 10 --fixed-step 0.033 --seed 1
    local size
    size="$(stat -c %s "$data/config.dat" 2>/dev/null || echo none)"
    echo "$file | $kind${n:+ $n} | exit $status | config.dat $size"
    [ "$status" -eq 0 ] || { echo "FAIL $file $kind: exit $status"; failures=$((failures + 1)); }
    [ "$size" = 137 ] || { echo "FAIL $file $kind: config.dat $size"; failures=$((failures + 1)); }
    if grep -qE 'Sanitizer|runtime error' "$work/err"; then
        echo "FAIL $file $kind: sanitizer report"
        failures=$((failures + 1))
    fi
    [ "$failures" -eq "$before" ] || { show_output; keep_damaged "$file-$kind"; }
}

while read -r f; do
    for kind in "${kinds[@]}"; do
        if [ "$kind" = truncated ]; then
            for n in 0 1 2; do sweep_one "$f" truncated "$n"; done
        else
            sweep_one "$f" "$kind" ""
        fi
    done
done < <(texture_files "$DATA"; mesh_files "$DATA")
while read -r f; do
    sweep_one "$f" bad_index 0
    sweep_one "$f" bad_index 1
done < <(mesh_files "$DATA")

finish
