#!/usr/bin/env bash
# Frame-rate runs of the real program at several road counts beside the baseline program that draws
# the same triangles of a RoadCount 1 frame in plain OpenGL; prints one table of medians over the runs.
#
#   bench/frame_rate.sh [-a PROGRAM_ARGS] [-b BUILD_DIR] [-f FRAMES] [-g WIDTHxHEIGHT] [-n RUNS] [-s STEP]
#                       [ROAD_COUNT...]
#
# Defaults: build/release, 300 frames, 3 runs, steps of 0.033 s, road counts 1 10 50 250. Each program
# run starts in a private folder with a copy of the generated 3z-idaveva/ (the program writes
# config.dat there), on a 1024x768 virtual screen, with --no-dialog --fixed-step STEP --seed 1. -g
# makes the virtual screen WIDTHxHEIGHT and stores that size, with width / height as the aspect
# ratio, in each copy's default.dat, so the program and the baseline both draw at that size. The
# ratio column divides each run's frame-time median by the baseline's median of the same run. The
# default 300 frames cover the first 10 s of traffic; the vehicles then drive ahead of the user into
# the view cone, and after a few minutes of simulated time (for example -s 0.5 -f 600) nearly all
# 15,000 of a 250-road frame are inside it, most of them off the picture or far ahead. -a adds options
# to each run of the program, for example -a "--traffic-model idm --scenario ring": the ring street
# is full of vehicles at every moment, so its table against the open street's first 10 s (-a
# "--traffic-model idm", default frames) shows what the ring's copies cost.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$here/../build/release"
frames=300
runs=3
step=0.033
size=""
extra=""
usage="usage: $0 [-a PROGRAM_ARGS] [-b BUILD_DIR] [-f FRAMES] [-g WIDTHxHEIGHT] [-n RUNS] [-s STEP] [ROAD_COUNT...]"
while getopts "a:b:f:g:n:s:" opt; do
    case "$opt" in
    a) extra="$OPTARG" ;;
    b) build="$OPTARG" ;;
    f) frames="$OPTARG" ;;
    g) size="$OPTARG" ;;
    n) runs="$OPTARG" ;;
    s) step="$OPTARG" ;;
    *) echo "$usage" >&2; exit 2 ;;
    esac
done
width=1024 height=768
if [ -n "$size" ]; then
    # The settings dialog takes no width below 640; a screen below 480 rows shows no street.
    if [[ ! "$size" =~ ^([0-9]{3,5})x([0-9]{3,5})$ ]] || [ "${BASH_REMATCH[1]}" -lt 640 ] ||
        [ "${BASH_REMATCH[2]}" -lt 480 ]; then
        echo "$0: -g takes WIDTHxHEIGHT, at least 640x480 (for example 1920x1080), not '$size'" >&2
        exit 2
    fi
    width="${BASH_REMATCH[1]}" height="${BASH_REMATCH[2]}"
fi
shift $((OPTIND - 1))
roads=("$@")
[ ${#roads[@]} -gt 0 ] || roads=(1 10 50 250)
build="$(cd "$build" && pwd)"

program="$build/src/app/kelvane3d"
baseline="$build/bench/bench_scene_baseline"
for f in "$program" "$baseline" "$build/3z-idaveva/default.dat"; do
    [ -e "$f" ] || { echo "$0: $f is missing: build the preset first" >&2; exit 1; }
done

# One virtual screen for the whole table.
if [ -z "${KL_FRAME_RATE_XVFB:-}" ]; then
    KL_FRAME_RATE_XVFB=1 exec xvfb-run -a -s "-noreset -screen 0 ${width}x${height}x24" bash "$0" -a "$extra" -b "$build" \
        -f "$frames" ${size:+-g "$size"} -n "$runs" -s "$step" "${roads[@]}"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# field NAME FILE: a number from the one-line JSON the programs write.
field() { sed -n "s/.*\"$1\": \([-0-9.e]*\).*/\1/p" "$2"; }

# le32 NUMBER: the four bytes of a 32-bit little-endian integer.
le32() { printf "$(printf '\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }

# copy_data DIR: a private copy of the data, its stored screen size and aspect ratio those of -g.
copy_data() {
    cp -r "$build/3z-idaveva" "$1/"
    [ -n "$size" ] || return 0
    local settings="$1/3z-idaveva/default.dat" aspect
    aspect="$(awk -v w="$width" -v h="$height" 'BEGIN {printf "%.3f", w / h}' | tr . ,)"
    { le32 "$width"; le32 "$height"; printf '%-5.5s' "$aspect"; } |
        dd of="$settings" bs=1 seek=124 conv=notrunc status=none
    rm -f "$1/3z-idaveva/config.dat"
}

# median of the numbers on standard input
median() { sort -g | awk '{v[NR] = $1} END {if (NR) print v[int((NR + 1) / 2)]; else print 0}'; }

run_program() { # ROADS RUN
    local dir="$work/r$1-$2"
    mkdir -p "$dir"
    copy_data "$dir"
    # $extra is split into words on purpose: it holds several options.
    # shellcheck disable=SC2086
    (cd "$dir" && "$program" --no-dialog --roads "$1" --fixed-step "$step" --seed 1 --frames "$frames" $extra \
        --stats "$dir/stats.json" >"$dir/out.txt" 2>&1) || { echo "$0: the program failed at $1 roads:" >&2; cat "$dir/out.txt" >&2; exit 1; }
    echo "$dir/stats.json"
}

run_baseline() { # RUN
    local dir="$work/base-$1"
    mkdir -p "$dir"
    copy_data "$dir"
    "$baseline" --data "$dir" --roads 1 --capture-frame $((frames / 2)) --frames "$frames" \
        --stats "$dir/stats.json" >"$dir/out.txt" 2>&1 || { echo "$0: the baseline failed:" >&2; cat "$dir/out.txt" >&2; exit 1; }
    echo "$dir/stats.json"
}

declare -A median_of p99_of ratio_of setup_of memory_of draws_of vertices_of
for ((i = 1; i <= runs; i++)); do
    base_json="$(run_baseline "$i")"
    base="$(field frame_seconds_median "$base_json")"
    echo "run $i: baseline $(awk -v s="$base" 'BEGIN {printf "%.2f ms", s * 1000}') ($(field triangles "$base_json") triangles, $(field batches "$base_json") draw calls)" >&2
    for r in "${roads[@]}"; do
        json="$(run_program "$r" "$i")"
        med="$(field frame_seconds_median "$json")"
        median_of[$r]+="$med "
        p99_of[$r]+="$(field frame_seconds_p99 "$json") "
        setup_of[$r]+="$(field setup_seconds "$json") "
        memory_of[$r]+="$(field peak_memory_bytes "$json") "
        draws_of[$r]+="$(field draw_calls_median "$json") "
        vertices_of[$r]+="$(field vertices_median "$json") "
        ratio_of[$r]+="$(awk -v a="$med" -v b="$base" 'BEGIN {print (b > 0 ? a / b : 0)}') "
        echo "run $i: $r roads: median $(awk -v s="$med" 'BEGIN {printf "%.2f ms", s * 1000}')" >&2
    done
done

m() { tr ' ' '\n' <<<"$1" | grep . | median; }
printf '%6s %12s %12s %14s %10s %12s %8s %10s\n' roads "median ms" "p99 ms" "x baseline" "set-up s" "peak MB" \
    draws vertices
for r in "${roads[@]}"; do
    awk -v r="$r" -v med="$(m "${median_of[$r]}")" -v p99="$(m "${p99_of[$r]}")" -v ratio="$(m "${ratio_of[$r]}")" \
        -v setup="$(m "${setup_of[$r]}")" -v mem="$(m "${memory_of[$r]}")" -v draws="$(m "${draws_of[$r]}")" \
        -v vertices="$(m "${vertices_of[$r]}")" \
        'BEGIN {printf "%6d %12.2f %12.2f %14.2f %10.2f %12.0f %8d %10d\n", r, med * 1000, p99 * 1000, ratio, setup, mem / 1048576, draws, vertices}'
done
echo "(medians of $runs runs of $frames frames of $step s at ${width}x${height}${extra:+, program options $extra}; draws and vertices: a frame's median; baseline: one RoadCount 1 frame replayed at the same size, one draw call per texture)"
