#!/usr/bin/env bash
# The traffic data of the real program: paths that cannot be written are refused before the run; a
# 300-frame fixed-seed run with the panel on, the log and the dump leaves exactly the tables of a
# plain run, and its last frame shows the space-time diagram's traces right of the panel's plot; the
# dump reads back with the right sizes and ranges and the log has a row per window; the loop
# detectors count what the trajectories of the same run show; automated vehicles, asked for none, change
# nothing, and drive otherwise and look otherwise when there are some.
# Usage: traffic_data_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM DUMP-CHECKER PNG-REGIONS
PROGRAM="$1" DATA="$2" SHIM="$3" CHECKER="$4" REGIONS="$5"
source "$(dirname "$0")/lib.sh"

echo "-- a log in a missing folder, a dump onto a folder: refused at once with exit 2"
fresh_data
ls -Al --time-style=full-iso "$data" >"$work/listing.before"
run_program 60 --no-dialog --frames 5 --traffic-log "$work/missing/log.csv"
check "exit status (log)" "$status" 2
check_true "the message names the log" grep -q "traffic log '$work/missing/log.csv'" "$work/err"
check_true "the data folder untouched" cmp -s <(ls -Al --time-style=full-iso "$data") "$work/listing.before"
run_program 60 --no-dialog --frames 5 --dump-traffic "$work"
check "exit status (dump)" "$status" 2
check_true "the message names the dump" grep -q "traffic dump '$work'" "$work/err"

run=(--no-dialog --frames 300 --seed 7 --fixed-step 0.033 --roads 1)

echo "-- 300 frames, plain"
fresh_data
run_program 300 "${run[@]}" --dump-traffic "$work/plain.json"
check "exit status" "$status" 0
[ "$status" -eq 0 ] || show_output

echo "-- the same with the panel shown from the sixth frame, the log and the dump"
fresh_data
printf '%s\n' '5-7: F2' >"$work/panel.keys"
run_program 300 "${run[@]}" --keys "$work/panel.keys" --traffic-log "$work/log.csv" \
    --dump-traffic "$work/watched.json" --screenshot "$work/panel.png"
check "exit status" "$status" 0
[ "$status" -eq 0 ] || show_output
check_true "the same traffic tables" cmp -s "$work/plain.json" "$work/watched.json"
# At 1024 x 768 the diagram's picture is x 488-872, y 69-245: ten seconds of traces fill its right
# sixth, the rest is still the dark background.
"$REGIONS" "$work/panel.png" 820 72 868 242 495 72 780 242 >"$work/regions" ||
    { echo "FAIL the screenshot cannot be read"; failures=$((failures + 1)); }
{
    read -r _ width height
    read -r _ _ _ _ _ traces_colourful
    read -r empty_r empty_g empty_b _ _ empty_colourful
} <"$work/regions"
check "screenshot size" "${width:-}x${height:-}" "1024x768"
check_true "the diagram's latest ten seconds drawn (coloured $traces_colourful/1000)" \
    test "${traces_colourful:-0}" -ge 200
check_true "before them its background (mean $empty_r $empty_g $empty_b, coloured $empty_colourful/1000)" \
    test "${empty_colourful:-1000}" -le 5 -a "${empty_r:-255}" -le 40
check_true "the dump reads back" "$CHECKER" "$work/watched.json" 1 300 0.033

# A window closes every 16 frames of 0.033 s: 18 in 300 frames, each with all 60 vehicles.
check "log lines" "$(wc -l <"$work/log.csv")" 19
check "log header" "$(head -n1 "$work/log.csv" | cut -d, -f1,2,11-13)" \
    "time_s,lane0_vehicles,mean_kmh,changes_per_min,spread_m"
check_true "every row: 13 fields, 60 vehicles, speeds and times in range" awk -F, '
    NR == 1 { next }
    NF != 13 || $2 + $5 + $8 != 60 || $11 < 90 || $11 > 156 || $1 <= last || $13 < 0 { bad = 1 }
    { last = $1 }
    END { exit bad }' "$work/log.csv"

echo "-- the car-following model: chosen on the command line, or switched with M; the log and dump follow"
fresh_data
run_program 60 --no-dialog --frames 5 --traffic-model bogus
check "exit status (unknown model)" "$status" 2
check_true "the message names the option" grep -q "traffic-model" "$work/err"
fresh_data
run_program 300 "${run[@]}" --traffic-model idm --traffic-log "$work/idm.csv" --dump-traffic "$work/idm.json"
check "exit status" "$status" 0
[ "$status" -eq 0 ] || show_output
check_true "the dump names its model" grep -q '^{"model": "idm", "RoadCount": 1, "frames": 300' "$work/idm.json"
check_true "other traffic than the program's own" test "$(cat "$work/idm.json")" != "$(cat "$work/plain.json")"
check "log lines" "$(wc -l <"$work/idm.csv")" 19
check_true "every row: 60 vehicles" awk -F, 'NR > 1 && $2 + $5 + $8 != 60 { bad = 1 } END { exit bad }' "$work/idm.csv"
# M at frame 10 restarts the traffic as the car-following model, which the dump then shows; a
# second press at frame 20 gives the program's own traffic back.
fresh_data
printf '%s\n' '10: M' >"$work/m.keys"
run_program 300 "${run[@]}" --keys "$work/m.keys" --dump-traffic "$work/m.json"
check "exit status (M)" "$status" 0
check_true "M: the dump names the car-following model" grep -q '^{"model": "idm"' "$work/m.json"
fresh_data
printf '%s\n' '10: M' '20: M' >"$work/mm.keys"
run_program 300 "${run[@]}" --keys "$work/mm.keys" --dump-traffic "$work/mm.json"
check "exit status (M twice)" "$status" 0
check_true "M twice: the program's own traffic again" grep -q '^{"RoadCount": 1' "$work/mm.json"

echo "-- trajectories: refused at once where they cannot go; the program's own traffic unchanged by them"
fresh_data
run_program 60 --no-dialog --frames 5 --trajectories "$work/missing/traj.csv"
check "exit status (trajectories)" "$status" 2
check_true "the message names the file" grep -q "trajectories file '$work/missing/traj.csv'" "$work/err"
fresh_data
run_program 300 "${run[@]}" --trajectories "$work/classic.csv" --dump-traffic "$work/classic.json"
check "exit status" "$status" 0
check_true "the same traffic tables" cmp -s "$work/plain.json" "$work/classic.json"
check "trajectory header" "$(head -n1 "$work/classic.csv")" \
    "time_s,road,lane,vehicle,position_m,speed_m_per_s,acceleration_m_per_s2"
# 300 frames of 0.033 s, the first moving by nothing: rows at each half second up to 9.867 s.
check "trajectory rows" "$(($(wc -l <"$work/classic.csv") - 1))" $((19 * 60))

echo "-- the ring: trajectories continuous round it, speeds as the positions move, J brakes; the dump"
ring=(--no-dialog --frames 200 --seed 7 --fixed-step 0.05 --roads 1 --traffic-model idm --scenario ring)
fresh_data
printf '%s\n' '20: J' >"$work/j.keys"
run_program 300 "${ring[@]}" --keys "$work/j.keys" --trajectories "$work/ring.csv" --dump-traffic "$work/ring.json"
check "exit status" "$status" 0
[ "$status" -eq 0 ] || show_output
check_true "the dump names the ring" grep -q '"scenario": "ring", "ring_length_m": 250' "$work/ring.json"
check_true "the dump has the model's own positions and speeds" grep -q '"speed_m_per_s": \[' "$work/ring.json"
# 200 frames of 0.05 s: rows at each half second up to 9.5 s, 60 vehicles each.
check "trajectory rows" "$(($(wc -l <"$work/ring.csv") - 1))" $((19 * 60))
# From row to row every vehicle moves forward round the 250 m ring by its mean speed times the time
# between, within 0.3 m/s; some vehicle stops after J.
check_true "positions continuous modulo the ring, speeds matching them" awk -F, '
    NR == 1 { next }
    $5 < 0 || $5 >= 250 { bad = 1 }
    {
        key = $4
        if (key in x) {
            dt = $1 - t[key]; dx = $5 - x[key]; if (dx < 0) dx += 250
            if (dt <= 0 || (dx / dt - (v[key] + $6) / 2) ^ 2 > 0.09) bad = 1
        }
        x[key] = $5; v[key] = $6; t[key] = $1
        if ($6 < 0.5) stopped = 1
    }
    END { exit bad || !stopped }' "$work/ring.csv"
printf '%s\n' 'time_headway_s = 2.0' >"$work/slow.txt"
fresh_data
run_program 300 "${ring[@]}" --frames 20 --traffic-parameters "$work/slow.txt" --trajectories "$work/slow.csv"
check "exit status (--traffic-parameters)" "$status" 0
check_true "a longer headway: slower from the start" awk -F, -v other="$(sed -n 2p "$work/ring.csv" | cut -d, -f6)" \
    'NR == 2 { exit !($6 < other - 1) }' "$work/slow.csv"

echo "-- loop detectors: what they count is what the trajectories of the same run show"
# Steps of 0.5 s, so that each trajectory row follows one step; 400 frames are 199.5 s of traffic:
# three whole minutes and the 19.5 s the run ended in.
loops=(--no-dialog --frames 400 --seed 7 --fixed-step 0.5 --roads 2)
# RING-LENGTH (0: none) ROWS-A-ROAD OPTIONS: the open street has 16 loops to 4,000 m, the 250 m ring
# one, three lanes each; the on-ramp's road 15 before its end and three on the ramp.
for street in "0 48 --traffic-model idm" "250 3 --scenario ring" "0 48 --scenario onramp"; do
    read -r ring rows_a_road options <<<"$street"
    fresh_data
    # shellcheck disable=SC2086
    run_program 300 "${loops[@]}" $options --detectors "$work/loops.csv" --trajectories "$work/traj.csv"
    check "$options: exit status" "$status" 0
    [ "$status" -eq 0 ] || show_output
    check "$options: detectors header" "$(head -n1 "$work/loops.csv")" \
        "time_s,road,position_m,lane,vehicles,flow_veh_per_h,speed_m_per_s,harmonic_speed_m_per_s,occupancy_percent"
    check "$options: interval ends" "$(cut -d, -f1 "$work/loops.csv" | sed 1d | uniq | tr '\n' ' ')" \
        "60.000 120.000 180.000 199.500 "
    check "$options: a row per loop, lane, road and interval" "$(($(wc -l <"$work/loops.csv") - 1))" \
        $((4 * 2 * rows_a_road))
    compared="$(awk -v ring="$ring" -f "$(dirname "$0")/loop_crossings.awk" "$work/loops.csv" "$work/traj.csv")"
    agree=$?
    check_true "$options: counts and speeds as the trajectories show ($(tail -n1 <<<"$compared"))" \
        test "$agree" -eq 0
    [ "$agree" -eq 0 ] || echo "$compared"
done

echo "-- the ring's city goes on: after a ride of 6 km, twice the city's length, a frame draws about as much as at the start"
ride=(--no-dialog --seed 1 --roads 1 --traffic-model idm --scenario ring --fixed-step 1)
draws() { sed -n 's/.*"draw_calls_last": \([0-9]*\).*/\1/p' "$1"; }
fresh_data
run_program 120 "${ride[@]}" --frames 5 --stats "$work/start.json"
run_program 120 "${ride[@]}" --frames 300 --stats "$work/ride.json"
check "exit status" "$status" 0
start_draws="$(draws "$work/start.json")" ride_draws="$(draws "$work/ride.json")"
check_true "draw calls after the ride (${ride_draws:-?}) at least 85 % of those at the start (${start_draws:-?})" \
    test "$((${ride_draws:-0} * 100))" -ge "$((${start_draws:-1000000} * 85))"

echo "-- automated vehicles: none leaves the ring as it was; A on the followed vehicle and five a lane drive otherwise, drawn green"
short=(--no-dialog --frames 100 --seed 7 --fixed-step 0.1 --roads 1 --scenario ring)
# The mean red and green of the nearest vehicles of the view down the street, as "R G".
near_colours() { "$REGIONS" "$1" 380 450 660 560 | sed -n 2p | cut -d' ' -f1,2; }
fresh_data
run_program 120 "${short[@]}" --dump-traffic "$work/human.json" --screenshot "$work/human.png"
check "exit status" "$status" 0
run_program 120 "${short[@]}" --automated-vehicles 0 --dump-traffic "$work/none.json"
check_true "--automated-vehicles 0: the same dump" cmp -s "$work/human.json" "$work/none.json"
printf '30: V\n31: A\n' >"$work/a.keys"
run_program 120 "${short[@]}" --keys "$work/a.keys" --dump-traffic "$work/a.json"
check_true "A: another dump" test -s "$work/a.json" -a -n "$(cmp "$work/human.json" "$work/a.json")"
run_program 120 "${short[@]}" --automated-vehicles 5 --dump-traffic "$work/five.json" --screenshot "$work/five.png"
check "exit status (five a lane)" "$status" 0
read -r human_r human_g <<<"$(near_colours "$work/human.png")"
read -r five_r five_g <<<"$(near_colours "$work/five.png")"
check_true "five a lane: the near vehicles greener (green - red ${five_g:-?} - ${five_r:-?} against ${human_g:-?} - ${human_r:-?})" \
    test "$((${five_g:-0} - ${five_r:-0}))" -ge "$((${human_g:-0} - ${human_r:-0} + 10))"
run_program 60 --no-dialog --frames 1 --roads 1 --automated-vehicles 1
check "exit status (open street)" "$status" 2

echo "-- a detectors file the rows cannot all go into: the run ends with exit status 1 and says so"
fresh_data
run_program 60 --no-dialog --frames 130 --fixed-step 0.5 --roads 1 --scenario ring --detectors /dev/full
check "exit status" "$status" 1
check "the last line" "$(tail -n1 "$work/err")" "kelvane3d: the detectors file '/dev/full' could not be written completely"

echo "-- no settings file: the traffic never ran, so no dump is left and the exit status says so"
fresh_data
rm -f "$data/config.dat" "$data/default.dat"
start_program 60 --no-dialog --dump-traffic "$work/none.json"
wid="$(find_window '"Kelvane 3D"')"
[ -n "$wid" ] && answer_box "$wid"
wait_program
check "exit status" "$status" 1
check_true "no dump file" test ! -e "$work/none.json"
check_true "says why" grep -q "no traffic dump" "$work/err"

finish
