#!/usr/bin/env bash
# By hand, not in CI: a long run of the sanitizer build at 250 roads with a fixed step (0.1 s and
# 18000 frames by default: 30 minutes of simulated time), on a small virtual screen so that drawing
# costs little. Once the traffic has driven ahead of the user, nearly all 15,000 vehicles are in
# view and a frame of the sanitizer build takes about a second; 3600 frames of 0.5 s cover the same
# simulated time in a fifth of the wall time. Prints the resident memory once a minute and, at the end, the run statistics and
# every sanitizer report and the number of values in the final traffic dump that are not finite
# numbers; exit status 1 when there was any of these or the run did not end normally.
# Usage: bash bench/long_run.sh [FRAMES] [BUILD-DIR] [STEP] [PROGRAM-OPTIONS]   (build the
# sanitize-optimised preset first: the sanitize preset's unoptimised build takes about a second a
# frame at 250 roads)
# A first try with FRAMES=500 gives the time per frame to estimate the whole run from.
# PROGRAM-OPTIONS are added to the program's own, for example the ring street with the statistics
# panel open from the first frame:
#   bash bench/long_run.sh 3600 build/sanitize 0.5 "--traffic-model idm --scenario ring --keys $PWD/bench/statistics_panel.keys"
# Leaks are looked for at the end. The program's libraries are kept mapped to the end (a preloaded
# dlclose that does nothing, bench/keep_libraries_loaded.c, built here with cc): unloaded, the GL
# driver's globals would no longer be scanned, and the blocks only they hold would be reported.
# Allocations the GL and desktop libraries keep for good are left out as in the render tests
# (tests/lsan-gl.supp).
set -uo pipefail
frames="${1:-18000}"
step="${3:-0.1}"
options="${4:-}"
export frames step
build="$(realpath "${2:-build/sanitize-optimised}")"
program="$build/src/app/kelvane3d"
[ -x "$program" ] || { echo "no program at $program: build the sanitize-optimised preset first" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$build/3z-idaveva" "$work/"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cc -shared -fPIC -O2 -o "$work/keep_libraries_loaded.so" "$here/keep_libraries_loaded.c" ||
    { echo "cannot build $here/keep_libraries_loaded.c with cc" >&2; exit 2; }
cfg="$work/3z-idaveva/config.dat"
cp "$work/3z-idaveva/default.dat" "$cfg"
# A 640x480 screen mode (little-endian 640 and 480), the one the virtual screen offers; a smaller
# screen is refused at bring-up.
printf '\x80\x02\x00\x00\xe0\x01\x00\x00' | dd of="$cfg" bs=1 seek=0 conv=notrunc status=none

cat >"$work/run.sh" <<EOF
cd "$work"
export ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1
export LSAN_OPTIONS=suppressions=$here/../tests/lsan-gl.supp LD_PRELOAD=$work/keep_libraries_loaded.so
timeout -k 10 \$((frames * 10 + 600)) "$program" --no-dialog --roads 250 --fixed-step $step --seed 1 --frames $frames --stats stats.json \
    --dump-traffic dump.json $options \
    >out.txt 2>err.txt &
p=\$!
while kill -0 \$p 2>/dev/null; do
    sleep 60
    c=\$(pgrep -P \$p | head -n1)
    echo "\$(date +%T) resident \$(awk '/^VmRSS:/ { print \$2 }' /proc/\$c/status 2>/dev/null) kB"
done
wait \$p
echo "exit status \$?" >status.txt
EOF

start=$(date +%s)
xvfb-run -a -s '-noreset -screen 0 640x480x24' bash "$work/run.sh"
elapsed=$(($(date +%s) - start))
echo "frames: $frames, wall time: ${elapsed} s"
cat "$work/status.txt"
echo "stats: $(cat "$work/stats.json" 2>/dev/null)"
reports="$(grep -cE 'Sanitizer|runtime error' "$work/err.txt")"
echo "sanitizer reports: $reports"
grep -E -A20 'Sanitizer|runtime error' "$work/err.txt" | head -n 60
# A distance that is no longer finite is written as null; any other table would show nan or inf.
bad="$(grep -oiE 'null|nan|inf' "$work/dump.json" 2>/dev/null | wc -l)"
echo "traffic dump: $(wc -c <"$work/dump.json" 2>/dev/null || echo no) bytes, values not finite: $bad"
grep -q 'exit status 0' "$work/status.txt" && [ "$reports" -eq 0 ] && [ -s "$work/dump.json" ] && [ "$bad" -eq 0 ]
