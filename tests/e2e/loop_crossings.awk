# Reads a --detectors file and the --trajectories file of the same run, made with --fixed-step 0.5 so
# that each trajectory row follows one step, and works out from the trajectories alone which vehicle
# passed which loop in which lane and interval (moving evenly between rows, counted in the lane of the
# row after) and at what speed (the distance between the rows over their time). Every detector row
# after the first interval (which began before the first trajectory row) must hold those vehicles and
# their mean speed; a crossing within the millimetre the files round to may go either way.
# Usage: awk -v ring=RING_METRES_OR_0 -f loop_crossings.awk DETECTORS.csv TRAJECTORIES.csv
BEGIN { FS = ","; spacing = 250 }
FNR == 1 { next }
FILENAME == ARGV[1] {
    if (!($1 in is_end)) { is_end[$1] = 1; ends[++ends_n] = $1 + 0 }
    key = ($1 + 0) SUBSEP $2 SUBSEP ($3 + 0) SUBSEP $4
    counted[key] = $5
    mean[key] = $7
    next
}
function crossing(p, loop, road, lane, t0, t1, x0, x1,    tc, i, end, key) {
    tc = t0 + (t1 - t0) * (p - x0) / (x1 - x0)
    end = ""
    for (i = 1; i <= ends_n; i++)
        if (ends[i] >= tc - 1e-9) { end = ends[i]; break }
    if (end == "") return
    key = end SUBSEP road SUBSEP loop SUBSEP lane
    seen[key]++
    speeds[key] += (x1 - x0) / (t1 - t0)
    if (x0 > p - 0.0006 || x1 < p + 0.0006) unsure[key]++
}
{
    id = $2 SUBSEP $4
    t = $1 + 0; x = $5 + 0
    if ((id in last_t) && t - last_t[id] < 0.75) {
        x0 = last_x[id]; x1 = x
        if (ring > 0 && x1 < x0) x1 += ring
        if (x1 > x0) {
            for (k = int(x0 / spacing) + 1; k * spacing <= x1; k++) {
                p = k * spacing
                if (ring == 0) crossing(p, p, $2, $3, last_t[id], t, x0, x1)
                else if (p <= ring) crossing(p, p, $2, $3, last_t[id], t, x0, x1)
            }
            # Past the ring's start: its loops once more, a ring's length on.
            if (ring > 0 && x1 > ring)
                for (k = 1; k * spacing <= ring && k * spacing + ring <= x1; k++)
                    if (k * spacing + ring > x0) crossing(k * spacing + ring, k * spacing, $2, $3, last_t[id], t, x0, x1)
        }
    }
    last_t[id] = t; last_x[id] = x
}
END {
    for (key in counted) {
        split(key, f, SUBSEP)
        if (f[1] <= ends[1]) continue
        compared += seen[key]
        d = counted[key] - seen[key]
        if (d < 0) d = -d
        if (d > unsure[key] + 0) {
            wrong++
            if (wrong <= 5) printf "  %s s, road %s, %s m, lane %s: detectors %d, trajectories %d\n", f[1], f[2], f[3], f[4], counted[key], seen[key]
        } else if (seen[key] > 0 && !unsure[key]) {
            s = mean[key] - speeds[key] / seen[key]
            if (s > 0.01 || s < -0.01) {
                wrong++
                if (wrong <= 5) printf "  %s s, road %s, %s m, lane %s: mean speed %s, trajectories %.3f\n", f[1], f[2], f[3], f[4], mean[key], speeds[key] / seen[key]
            }
        }
    }
    printf "%d crossings compared, %d rows differ\n", compared, wrong
    exit wrong > 0 || compared < 100
}
