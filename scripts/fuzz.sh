#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds (default 30)
# on a copy of its seed corpus. Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
bash scripts/build.sh fuzz
for target in build/fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name="$(basename "$target")"
    seeds="fuzz/corpus/${name#fuzz_}"
    work="build/fuzz/corpus-work/$name"
    mkdir -p "$work"
    [ -d "$seeds" ] && cp -n "$seeds"/* "$work"/ 2>/dev/null || true
    echo "-- $name for ${seconds}s"
    log="build/fuzz/$name.log"
    status=0
    "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" >"$log" 2>&1 || status=$?
    grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb)" "$log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        echo "$name failed (exit $status); the crashing input is named above"
        exit 1
    fi
done
