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
    "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" 2>&1 | grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|==.*ERROR|SUMMARY)" || true
    # libFuzzer exits non-zero on a crash; PIPESTATUS keeps that from being hidden by grep.
    [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "$name failed"; exit 1; }
done
