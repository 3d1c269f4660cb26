#!/usr/bin/env bash
# Experiments: a run without a window works with no display at all and runs exactly the traffic of a
# run with one (same digest, dump and diagrams); its summary has a row per road whose speeds are
# those of the run's trajectories over its last third; with lane changes off every vehicle keeps its
# lane; a summary that cannot be written gives the usual exit statuses.
# Usage: experiments_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM PNG-REGIONS
PROGRAM="$1" DATA="$2" SHIM="$3" REGIONS="$4"
source "$(dirname "$0")/lib.sh"

# Runs the program with neither DISPLAY nor WAYLAND_DISPLAY set.
display="${DISPLAY:-}"
run_without_display() {
    unset DISPLAY WAYLAND_DISPLAY
    run_program "$@"
    export DISPLAY="$display"
}
digest() { sed -n 's/.*"traffic_digest": "\([0-9a-f]*\)".*/\1/p' "$1"; }

echo "-- without a step or an end, or with what needs a window: refused with one line and exit 2"
fresh_data
run_without_display 60 --headless --frames 5 --summary "$work/s.csv"
check "exit status (no --fixed-step)" "$status" 2
check "one line, then the hint" "$(head -n1 "$work/err")" \
    "kelvane3d: option --headless needs --fixed-step SECONDS and --frames N (a run without a window has no clock and no key to end it)"
run_without_display 60 --headless --frames 5 --fixed-step 0.1 --summary "$work/missing/s.csv"
check "exit status (a summary in a missing folder)" "$status" 2
check_true "the message names the summary" grep -q "summary '$work/missing/s.csv'" "$work/err"

echo "-- the same traffic with and without a window: digest, dump and diagrams"
# The program's own traffic, then the ring of the car-following model with a J-free jam forming.
# The program's own traffic has no fundamental diagram: its picture is the space-time diagram alone.
for run in "224 --roads 3 --frames 100" "456 --roads 2 --frames 300 --scenario ring"; do
    read -r picture_height options <<<"$run"
    # shellcheck disable=SC2086
    set -- --seed 7 --fixed-step 0.1 $options
    fresh_data
    cp "$data/config.dat" "$work/config.before" 2>/dev/null || : >"$work/config.before"
    run_without_display 300 --headless "$@" --stats "$work/headless.json" --dump-traffic "$work/headless-dump.json" \
        --diagrams "$work/headless.png"
    check "$options: exit status without a display" "$status" 0
    [ "$status" -eq 0 ] || show_output
    check_true "$options: the settings file left as it was" \
        cmp -s "$work/config.before" <(cat "$data/config.dat" 2>/dev/null)
    check "$options: no window, so no draw calls" \
        "$(sed -n 's/.*"draw_calls_max": \([0-9]*\).*/\1/p' "$work/headless.json")" 0
    check_true "$options: vehicle updates counted" grep -q '"vehicle_updates": [1-9]' "$work/headless.json"
    fresh_data
    run_program 300 --no-dialog "$@" --stats "$work/window.json" --dump-traffic "$work/window-dump.json" \
        --diagrams "$work/window.png"
    check "$options: exit status with a window" "$status" 0
    [ "$status" -eq 0 ] || show_output
    check_true "$options: a digest" test -n "$(digest "$work/window.json")"
    check "$options: the same digest" "$(digest "$work/headless.json")" "$(digest "$work/window.json")"
    check_true "$options: the same dump" cmp -s "$work/headless-dump.json" "$work/window-dump.json"
    check_true "$options: the same diagrams" cmp -s "$work/headless.png" "$work/window.png"
    check "$options: diagrams size" "$("$REGIONS" "$work/headless.png" | head -n1)" "size 480 $picture_height"
done
# The ring's diagrams: 30 s of traces in the right half of the space-time diagram, the fundamental
# diagram below it.
"$REGIONS" "$work/headless.png" 250 4 476 220 0 232 480 456 >"$work/regions" ||
    { echo "FAIL the diagrams cannot be read"; failures=$((failures + 1)); }
{
    read -r _
    read -r _ _ _ _ _ traces
    read -r _ fundamental_g _ _ _ _
} <"$work/regions"
check_true "the traces drawn (coloured ${traces:-?}/1000)" test "${traces:-0}" -ge 200
# Its background is green 20; the equilibrium curve's grey and the points lift the mean.
check_true "the fundamental diagram below (mean green ${fundamental_g:-?})" test "${fundamental_g:-0}" -gt 20

echo "-- the summary: a row per road, its speeds those of the trajectories' last third"
# Steps of 0.5 s, so that every step after the first writes a trajectory row: the last third of 300
# frames are the rows from 100 s on.
fresh_data
run_without_display 300 --headless --roads 2 --seed 7 --fixed-step 0.5 --frames 300 --scenario ring \
    --summary "$work/summary.csv" --trajectories "$work/traj.csv"
check "exit status" "$status" 0
[ "$status" -eq 0 ] || show_output
check "header" "$(head -n1 "$work/summary.csv")" \
    "road,parameter,value,vehicles,mean_speed_m_per_s,speed_std_m_per_s,min_speed_m_per_s,flow_veh_per_h,growth_rate_per_s"
check "roads, nothing swept, vehicles" "$(sed 1d "$work/summary.csv" | cut -d, -f1-4 | tr '\n' ' ')" "0,,,60 1,,,60 "
compared="$(awk -F, '
    FNR == 1 { next }
    FILENAME == ARGV[1] { mean[$1] = $5; sd[$1] = $6; low[$1] = $7; flow[$1] = $8; growth[$1] = $9; next }
    $1 >= 100 { n[$2]++; s[$2] += $6; q[$2] += $6 * $6; if (!($2 in m) || $6 < m[$2]) m[$2] = $6 }
    END {
        bad = 0
        for (r in mean) {
            tm = s[r] / n[r]; tsd = sqrt(q[r] / n[r] - tm * tm)
            # Each lane of 250 m: the flow is the mean speed times 60 vehicles over 750 m.
            printf "road %s: mean %s / %.4f, sd %s / %.4f, min %s / %.3f, flow %s / %.1f, growth %s\n",
                r, mean[r], tm, sd[r], tsd, low[r], m[r], flow[r], mean[r] * 60 / 750 * 3600, growth[r]
            if (n[r] != 100 * 60 || (mean[r] - tm) ^ 2 > 1e-6 || (sd[r] - tsd) ^ 2 > 1e-6 ||
                (low[r] - m[r]) ^ 2 > 1e-6 || (flow[r] - mean[r] * 60 / 750 * 3600) ^ 2 > 1e-6 || !(growth[r] > 0))
                bad = 1
        }
        exit bad || length(mean) != 2
    }' "$work/summary.csv" "$work/traj.csv")"
agree=$?
echo "$compared"
check_true "speeds and flow as the trajectories show, growth above 0 on the default ring" test "$agree" -eq 0
check_true "with lane changes on, some vehicle has left its lane" \
    awk -F, 'NR > 1 && $3 != int($4 / 20) { changed = 1 } END { exit !changed }' "$work/traj.csv"

echo "-- lane changes off: every vehicle keeps the lane it started in"
fresh_data
run_without_display 300 --headless --roads 2 --seed 7 --fixed-step 0.5 --frames 300 --scenario ring \
    --lane-changes off --trajectories "$work/kept.csv"
check "exit status" "$status" 0
check "rows" "$(($(wc -l <"$work/kept.csv") - 1))" $((299 * 120))
check_true "every row in its starting lane" awk -F, 'NR > 1 && $3 != int($4 / 20) { bad = 1 } END { exit bad }' \
    "$work/kept.csv"

echo "-- a sweep: each road its own value, named in the summary with its own theory"
fresh_data
run_without_display 300 --headless --roads 3 --seed 7 --fixed-step 0.5 --frames 100 --scenario ring \
    --vary ring_length_m=300:700 --summary "$work/swept.csv" --dump-traffic "$work/swept.json"
check "exit status" "$status" 0
check "keys and values" "$(sed 1d "$work/swept.csv" | cut -d, -f1-3 | tr '\n' ' ')" \
    "0,ring_length_m,300 1,ring_length_m,500 2,ring_length_m,700 "
# The longer the ring, the larger the gaps and the more stable the flow.
check_true "growth rate falls along the sweep" awk -F, 'NR > 2 && !($9 < previous) { bad = 1 } { previous = $9 }
    END { exit bad }' "$work/swept.csv"
check_true "the dump names the sweep" grep -q '"vary": {"key": "ring_length_m", "from": 300, "to": 700}' \
    "$work/swept.json"

echo "-- a summary the rows cannot all go into: exit status 1, said on the last line"
fresh_data
run_without_display 60 --headless --roads 1 --fixed-step 0.5 --frames 10 --scenario ring --summary /dev/full
check "exit status" "$status" 1
check "the last line" "$(tail -n1 "$work/err")" "kelvane3d: the summary '/dev/full' could not be written completely"

echo "-- no settings file: no box without a window; the traffic never ran, so no summary or picture is left"
fresh_data
rm -f "$data/config.dat" "$data/default.dat"
run_without_display 60 --headless --fixed-step 0.1 --frames 10 --summary "$work/none.csv" --diagrams "$work/none.png"
check "exit status" "$status" 1
check "no message box" "$(cat "$work/messages")" ""
check_true "no summary, no picture" test ! -e "$work/none.csv" -a ! -e "$work/none.png"
check "the lines" "$(cat "$work/err")" "Kelvane 3D: Couldn't load the game. Kelvane 3D will exit now.
kelvane3d: no summary: the traffic never ran
kelvane3d: no diagrams picture '$work/none.png': the traffic never ran"

finish
