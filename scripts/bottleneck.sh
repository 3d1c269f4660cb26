#!/usr/bin/env bash
# What the loop detectors (--detectors) saw of a bottleneck on one road: a speed map of the main road
# (loops up the page, minutes across), the flows up- and downstream, the queue's discharge and the
# speed of its tail against kinematic-wave theory, c = (q_in - q_out) / (rho_in - rho_out), with the
# densities taken from the equilibrium curve of the car-following model at the measured flows.
# Usage: scripts/bottleneck.sh DETECTORS.csv [ROAD (0)] [BOTTLENECK START m (2500)]
#        [v0 m/s (33.333)] [T s (1.5)] [s0 m (2)] [vehicle length m (4.0)] [delta (4)]
set -euo pipefail
file="$1" road="${2:-0}" start="${3:-2500}"
v0="${4:-33.333}" T="${5:-1.5}" s0="${6:-2}" len="${7:-4.0}" delta="${8:-4}"
awk -F, -v road="$road" -v B="$start" -v v0="$v0" -v T="$T" -v s0="$s0" -v len="$len" -v delta="$delta" '
    function eq_speed(gap,   lo, hi, v, w, i) {
        if (gap <= s0) return 0
        lo = 0; hi = v0
        for (i = 0; i < 60; ++i) { v = (lo + hi) / 2; w = (s0 + v * T) / gap
            if (1 - (v / v0) ^ delta - w * w > 0) lo = v; else hi = v }
        return lo
    }
    function flow_at(rho) { return rho * eq_speed(1 / rho - len) * 3600 }   # veh/h a lane
    # The density (veh/km a lane) of the curve at flow q (veh/h a lane) on its free or congested branch.
    function rho_at(q, congested,   lo, hi, m, i) {
        if (congested) { lo = rcap; hi = 1 / (s0 + len) } else { lo = 1e-6; hi = rcap }
        for (i = 0; i < 60; ++i) { m = (lo + hi) / 2
            if ((flow_at(m) < q) == !congested) lo = m; else hi = m }
        return (lo + hi) / 2 * 1000
    }
    # The keys of a, as numbers, into s[1..n], ascending (dir 1) or descending (-1).
    function sorted(a, s, dir,   n, k, i, j, v) {
        n = 0; for (k in a) s[++n] = k + 0
        for (i = 2; i <= n; ++i) { v = s[i]; for (j = i - 1; j >= 1 && (s[j] - v) * dir > 0; --j) s[j + 1] = s[j]; s[j + 1] = v }
        return n
    }
    BEGIN { best = 0; for (r = 0.001; r < 1 / (s0 + len); r += 0.0002) if (flow_at(r) > best) { best = flow_at(r); rcap = r } }
    NR == 1 { next }
    $2 != road || $4 == "ramp" { next }
    {
        t = $1 + 0; x = $3 + 0; times[t] = 1; loops[x] = 1
        q[t, x] += $6
        if ($8 != "") { n[t, x] += $5; inv[t, x] += $5 / $8 }
        if ($9 + 0 > occ[t, x]) occ[t, x] = $9 + 0
    }
    END {
        nt = sorted(times, ts, 1); nx = sorted(loops, xs, -1)
        printf "capacity of a lane on the curve: %.0f veh/h at %.1f veh/km\n", best, rcap * 1000
        printf "speed map, km/h of all lanes (harmonic): . over 80, - 50-80, o 20-50, # under 20, blank: no vehicle; S: a lane stood over the loop\n"
        for (j = 1; j <= nx; ++j) { x = xs[j]; line = sprintf("%6d m ", x)
            for (i = 1; i <= nt; ++i) { t = ts[i]; c = " "
                if (n[t, x] > 0) { v = n[t, x] / inv[t, x] * 3.6; c = v > 80 ? "." : v > 50 ? "-" : v > 20 ? "o" : "#" }
                if (occ[t, x] > 50 && (c == "." || c == "-")) c = "S"
                line = line c }
            print line }
        # The queue: loops upstream of the bottleneck where the vehicles that crossed drove below
        # 50 km/h, or a lane stood on the loop more than half the minute (a standing lane crosses
        # none). Its tail is the farthest one up of an unbroken run from the bottleneck.
        up = B - 250; down = B + 500
        for (i = 1; i <= nt; ++i) { t = ts[i]; tail = ""
            for (x = up; x >= 250; x -= 250) { if ((n[t, x] > 0 && n[t, x] / inv[t, x] * 3.6 < 50) || occ[t, x] > 50) tail = x; else break }
            tails[t] = tail
            if (tail != "" && qstart == "") qstart = t
        }
        if (qstart == "") { print "no queue upstream of the bottleneck"; exit }
        printf "queue at the loop %d m from %d s\n", up, qstart
        # Discharge: the flow 500 m downstream once the queue stands, the interval it formed left out.
        for (i = 1; i <= nt; ++i) { t = ts[i]; if (t <= qstart) continue; k++; qo += q[t, down] }
        qout = qo / k
        printf "discharge at %d m: %.0f veh/h over %d min (two lanes on the curve: %.0f veh/h, %.1f%% below)\n", down, qout, k, 2 * best, 100 * (1 - qout / (2 * best))
        # Tail: least squares of its position against time while it moves up and has not reached the
        # first loop; the inflow at the first loop before the tail reaches it.
        for (i = 1; i <= nt; ++i) { t = ts[i]; if (tails[t] == "" || tails[t] <= 500) continue
            m++; st += t; sx += tails[t]; stt += t * t; stx += t * tails[t] }
        for (i = 1; i <= nt; ++i) { t = ts[i]; if (t < 120) continue; if (tails[t] != "" && tails[t] <= 500) break; kin++; qin += q[t, 250] }
        qin /= kin
        if (m >= 3) {
            c = (m * stx - st * sx) / (m * stt - st * st)
            rin = 3 * rho_at(qin / 3, 0); rout = 3 * rho_at(qout / 3, 1)
            printf "inflow at 250 m: %.0f veh/h (three lanes); densities on the curve: %.1f veh/km upstream, %.1f in the queue\n", qin, rin, rout
            printf "tail: %.1f km/h measured over %d intervals; theory (q_in - q_out) / (rho_in - rho_out) = %.1f km/h\n", c * 3.6, m, (qin - qout) / (rin - rout)
        } else print "tail: too few intervals to fit"
    }' "$file"
