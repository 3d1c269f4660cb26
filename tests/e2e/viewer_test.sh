#!/usr/bin/env bash
# What a viewer does with the real program, from key scripts: a pause leaves the traffic and the
# picture as if its frames never ran, time x2 moves the traffic as twice the frames would, C cycles
# the camera mode and the next run starts in it, and --video records a file that reads back with the
# run's frame count, size and rate (or is refused before the run); F3 shows the parameter panel in
# the screenshot and leaves the traffic as it was.
# Usage: viewer_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM PNG-REGIONS
PROGRAM="$1" DATA="$2" SHIM="$3" REGIONS="$4"
source "$(dirname "$0")/lib.sh"

# Steps whose multiples a float holds exactly, so that the clock gives every frame the same time
# and runs that differ only by when their frames come compare exactly.
run=(--no-dialog --seed 5 --roads 1)
digest() { sed -n 's/.*"traffic_digest": "\([0-9a-f]*\)".*/\1/p' "$1" 2>/dev/null; }
# The distance of the slow vehicle at the head of each lane slot of road 0, from a traffic dump.
heads() {
    awk '/^"VehDist"/ { getline; gsub(/[][ ]/, ""); split($0, v, ","); print v[20]; print v[40]; print v[60]; exit }' "$1"
}
keys() { printf '%s\n' "$@" >"$work/run.keys"; }

echo "-- P at frame 10 and again at 110: the same traffic and picture as 100 frames fewer"
# At 0.125 s the status line is rebuilt every 4 frames, so 100 frames later it shows the same.
fresh_data
run_program 120 "${run[@]}" --fixed-step 0.125 --frames 60 --stats "$work/plain.json" --screenshot "$work/plain.png"
check "exit status (plain)" "$status" 0
keys '10: P' '110-112: P'
fresh_data
run_program 180 "${run[@]}" --fixed-step 0.125 --frames 160 --keys "$work/run.keys" --stats "$work/paused.json" \
    --screenshot "$work/paused.png"
check "exit status (paused)" "$status" 0
[ "$status" -eq 0 ] || show_output
check_true "a digest was written" test -n "$(digest "$work/plain.json")"
check "traffic digest" "$(digest "$work/paused.json")" "$(digest "$work/plain.json")"
check_true "the same last picture (vehicles, camera, status line)" cmp -s "$work/plain.png" "$work/paused.png"

echo "-- F3 at frame 10: the panel at the right, below the statistics panel's place; the rest and the traffic as without it"
keys '10: F3'
fresh_data
run_program 120 "${run[@]}" --fixed-step 0.125 --frames 60 --keys "$work/run.keys" --stats "$work/panel.json" \
    --screenshot "$work/panel.png"
check "exit status (F3)" "$status" 0
[ "$status" -eq 0 ] || show_output
check "traffic digest (F3)" "$(digest "$work/panel.json")" "$(digest "$work/plain.json")"
# The panel keeps to the right of x = 600 and below y = 360 on the 1024 x 768 screen.
panel_area=(600 360 1024 768) rest=(0 0 600 768)
check_true "the panel's area differs: $("$REGIONS" "$work/panel.png" "${panel_area[@]}" | tail -1) \
against $("$REGIONS" "$work/plain.png" "${panel_area[@]}" | tail -1)" \
    test "$("$REGIONS" "$work/panel.png" "${panel_area[@]}")" != "$("$REGIONS" "$work/plain.png" "${panel_area[@]}")"
check "the rest of the picture" "$("$REGIONS" "$work/panel.png" "${rest[@]}")" "$("$REGIONS" "$work/plain.png" "${rest[@]}")"
check_true "no parameter file without Save" test ! -e "$data/traffic-model.txt"

echo "-- ] held from the first frame: 100 frames at twice the step move the head vehicles as 199 do"
fresh_data
run_program 120 "${run[@]}" --fixed-step 0.03125 --frames 199 --dump-traffic "$work/single.json"
check "exit status (199 frames)" "$status" 0
keys '0-5: RBracket'
fresh_data
run_program 120 "${run[@]}" --fixed-step 0.03125 --frames 100 --keys "$work/run.keys" --dump-traffic "$work/double.json"
check "exit status (time x2)" "$status" 0
# The first frame moves nothing (no previous frame time); 99 moves of twice the step then cover what
# 198 single ones do, up to the rounding of the sums.
check_true "head vehicles at the same distances: $(heads "$work/double.json" | paste -sd' ') \
against $(heads "$work/single.json" | paste -sd' ')" \
    awk 'NR == FNR { a[FNR] = $1; next }
         { n++; d = $1 - a[FNR]; if (d < 0) d = -d; if (d > 1e-9 * $1 || $1 <= 0) bad = 1 }
         END { exit bad || n != 3 }' <(heads "$work/single.json") <(heads "$work/double.json")

echo "-- C three times from camera mode 6: 7, 0, 1; config.dat keeps 1 for the next run"
fresh_data
cfg="$data/config.dat"
cp "$data/default.dat" "$cfg"
set_i32 "$cfg" 52 6
keys '5-7: C' '10: C' '15-20: C'
run_program 120 "${run[@]}" --fixed-step 0.02 --frames 30 --keys "$work/run.keys"
check "exit status" "$status" 0
check "camera mode stored" "$(i32 "$cfg" 52)" 1

echo "-- --video: refused without --fixed-step and onto a folder that does not exist"
fresh_data
run_program 60 --no-dialog --frames 5 --video "$work/a.mp4"
check "exit status (no fixed step)" "$status" 2
check_true "says it needs --fixed-step" grep -q -- "--video needs --fixed-step" "$work/err"
run_program 60 --no-dialog --frames 5 --fixed-step 0.04 --video "$work/missing/a.mp4"
check "exit status (unwritable)" "$status" 2
check_true "names the file" grep -q "cannot write the video $work/missing/a.mp4" "$work/err"

echo "-- --video of 50 frames at 0.04 s: H.264, yuv420p, 1024x768, 25 frames per second, 50 frames"
fresh_data
run_program 300 "${run[@]}" --fixed-step 0.04 --frames 50 --video "$work/clip.mp4"
check "exit status" "$status" 0
[ "$status" -eq 0 ] || show_output
check_true "progress on stderr" grep -q "video: 50/50 frames \[#*\]" "$work/err"
check "probe" "$(ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames -of csv=p=0 \
    "$work/clip.mp4")" "h264,1024,768,yuv420p,25/1,50"

finish
