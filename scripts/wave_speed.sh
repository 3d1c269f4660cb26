#!/usr/bin/env bash
# The speed of the stop-and-go waves on a ring, from a trajectories file (--trajectories): for each
# lane of one road, at every row time, where its slow vehicles (below 2 m/s) are, as their mean
# position round the ring; that place followed round the ring and fitted by least squares against
# time from the first half minute of the jam on. Negative: the wave moves upstream.
# Usage: scripts/wave_speed.sh TRAJECTORIES.csv [ROAD (0)] [RING LENGTH m (250)]
set -euo pipefail
file="$1" road="${2:-0}" ring="${3:-250}"
awk -F, -v road="$road" -v L="$ring" '
    function flush(   l, a, x, d) {
        for (l = 0; l < 3; ++l) {
            if (n[l] == 0) continue
            a = atan2(s[l], c[l]); if (a < 0) a += 2 * pi
            x = a / (2 * pi) * L
            if (l in last) { d = x - last[l]; if (d > L / 2) d -= L; if (d < -L / 2) d += L; at[l] += d }
            else { at[l] = x; first[l] = t }
            last[l] = x
            if (t >= first[l] + 30) { k[l]++; st[l] += t; sx[l] += at[l]; stt[l] += t * t; stx[l] += t * at[l] }
        }
        split("", n); split("", s); split("", c)
    }
    BEGIN { pi = atan2(0, -1) }
    NR == 1 { next }
    $1 != t && NR > 2 { flush() }
    { t = $1 }
    $2 == road && $6 < 2 { n[$3]++; s[$3] += sin(2 * pi * $5 / L); c[$3] += cos(2 * pi * $5 / L) }
    END {
        flush()
        for (l = 0; l < 3; ++l) {
            if (k[l] < 10) { printf "lane %d: no jam long enough\n", l; continue }
            v = (k[l] * stx[l] - st[l] * sx[l]) / (k[l] * stt[l] - st[l] * st[l])
            printf "lane %d: wave at %.1f km/h (%.2f m/s) over %d rows from %.1f s\n", l, v * 3.6, v, k[l], first[l] + 30
        }
    }' "$file"
