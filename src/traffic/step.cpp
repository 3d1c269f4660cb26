// The traffic step as the frame loop runs it: the same scan, the same decisions and the same
// floating-point operations as the plain scan, but each vehicle only looks at the vehicles of its own
// lane, most are let off after one vector pass over them, and a road's cells are reached without
// per-access checks once the road index is known to be valid.
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "traffic/traffic.h"

namespace kl {

namespace {

constexpr int LastCar = TrafficTables::LastCar;
constexpr int Slots = 3 * (LastCar + 1); // simulated vehicles of a road, numbered in scan order
constexpr int RowCapacity = 64;          // Slots rounded up to whole vectors

template <typename T> using RoadCells = typename VehicleTable<T>::Road;

constexpr int slot_of(int m, int n) {
    return m * (LastCar + 1) + n;
}

bool valid_lane(std::int32_t lane) {
    return lane >= 0 && lane < 3;
}

// The distances of the vehicles that drive in one lane, in ascending order while every distance of
// the road is a number, and always a NaN right after the last one, which pads the row to an even
// count: NaN fails every comparison, so the padding never counts as a vehicle.
struct LaneRow {
    alignas(16) double Dist[RowCapacity];
    int Slot[RowCapacity];
    int Count = 0;

    int padded_count() const { return (Count + 1) & ~1; }

    // Is some vehicle of the row inside [lo, hi]?
    bool any_within(double lo, double hi) const {
#if defined(__SSE2__)
        const __m128d vlo = _mm_set1_pd(lo);
        const __m128d vhi = _mm_set1_pd(hi);
        __m128d hit = _mm_setzero_pd();
        for (int i = 0; i < padded_count(); i += 2) {
            const __m128d d = _mm_load_pd(Dist + i);
            hit = _mm_or_pd(hit, _mm_and_pd(_mm_cmple_pd(vlo, d), _mm_cmple_pd(d, vhi)));
        }
        return _mm_movemask_pd(hit) != 0;
#else
        bool hit = false;
        for (int i = 0; i < Count; ++i)
            hit = hit || (lo <= Dist[i] && Dist[i] <= hi);
        return hit;
#endif
    }

    // Is some vehicle of the row near a vehicle at `dist` with `speed`: |dist - x| < 900 or
    // |dist - x + speed| < 1020? |a| < b is written -b < a < b, which is exact.
    bool any_near(double dist, double speed) const {
#if defined(__SSE2__)
        const __m128d vdist = _mm_set1_pd(dist);
        const __m128d vspeed = _mm_set1_pd(speed);
        const __m128d lo1 = _mm_set1_pd(-900.0), hi1 = _mm_set1_pd(900.0);
        const __m128d lo2 = _mm_set1_pd(-1020.0), hi2 = _mm_set1_pd(1020.0);
        __m128d hit = _mm_setzero_pd();
        for (int i = 0; i < padded_count(); i += 2) {
            const __m128d gap = _mm_sub_pd(vdist, _mm_load_pd(Dist + i));
            const __m128d shifted = _mm_add_pd(gap, vspeed);
            const __m128d near1 = _mm_and_pd(_mm_cmplt_pd(lo1, gap), _mm_cmplt_pd(gap, hi1));
            const __m128d near2 = _mm_and_pd(_mm_cmplt_pd(lo2, shifted), _mm_cmplt_pd(shifted, hi2));
            hit = _mm_or_pd(hit, _mm_or_pd(near1, near2));
        }
        return _mm_movemask_pd(hit) != 0;
#else
        for (int i = 0; i < Count; ++i)
            if (std::fabs(dist - Dist[i]) < 900.0 || std::fabs(dist - Dist[i] + speed) < 1020.0) return true;
        return false;
#endif
    }
};

class FastRoad {
  public:
    FastRoad(TrafficTables& T, const TrafficFrame& Frame, int Road)
        : Lane(T.VehLane.road(Road)), Dist(T.VehDist.road(Road)), Speed(T.VehSpeed.road(Road)),
          Offset(T.VehOffset.road(Road)), Target(T.VehTargetOffset.road(Road)),
          Side(T.VehSideStep.road(Road)), Order(T.StepOrder[Road]), F(Frame) {
        for (LaneRow& row : Rows)
            row.Dist[0] = NaN;
        // Last frame's order first, then whatever it missed; each vehicle joins once.
        std::uint64_t joined = 0;
        auto join_once = [&](int slot) {
            if (slot < 0 || slot >= Slots || (joined >> slot & 1) != 0) return;
            joined |= 1ULL << slot;
            const int m = slot / (LastCar + 1), n = slot % (LastCar + 1);
            if (valid_lane(Lane[m][n])) join(Lane[m][n], slot, Dist[m][n]);
        };
        for (const std::int8_t slot : Order)
            join_once(slot);
        for (int slot = 0; slot < Slots; ++slot)
            join_once(slot);
    }

    ~FastRoad() {
        int i = 0;
        for (const LaneRow& row : Rows)
            for (int pos = 0; pos < row.Count; ++pos)
                Order[i++] = static_cast<std::int8_t>(row.Slot[pos]);
    }

    void vehicle(int m, int n) {
        const int slot = slot_of(m, n);
        std::int32_t& speed = Speed[m][n];
        if (speed < 120 && n < LastCar) {
            speed += 1;
            if (speed >= 120) speed = 120;
        }
        if (n < LastCar && valid_lane(Lane[m][n])) {
            // The window of the exact test with V's speed before any takeover; when nothing of the
            // lane is inside it, the exact scan would find nothing either.
            const double d = static_cast<double>(F.FrameTime) * speed * 36.0;
            const double lo = Dist[m][n] + 900.0;
            const double hi = Dist[m][n] + 900.0 + d;
            if (anything_within(Lane[m][n], slot, lo, hi)) follow(m, n);
        }

        Dist[m][n] += static_cast<double>(F.LastFrameTime) * speed * 36.0;
        if (valid_lane(Lane[m][n])) reorder(Lane[m][n], slot, Dist[m][n]);

        Offset[m][n] += Side[m][n];
        if (Offset[m][n] == Target[m][n]) Side[m][n] = 0;
    }

  private:
    static constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

    // Is a vehicle of the lane, other than the one in `slot`, inside [lo, hi]? In an ordered row
    // everything below the vehicle's own entry is at most its distance, hence below lo (when lo is
    // above it, which fails only for distances so large that adding 900 changes nothing), so only
    // the entries just above it need looking at: those closer than lo, then the first beyond.
    bool anything_within(std::int32_t lane, int slot, double lo, double hi) const {
        const LaneRow& row = Rows[lane];
        const double own = row.Dist[RowPos[slot]];
        if (!Ordered || !(lo > own)) return row.any_within(lo, hi);
        int i = RowPos[slot] + 1;
        while (i < row.Count && row.Dist[i] < lo)
            ++i;
        return i < row.Count && row.Dist[i] <= hi;
    }

    void put(LaneRow& row, int pos, double dist, int slot) {
        row.Dist[pos] = dist;
        row.Slot[pos] = slot;
        RowPos[slot] = pos;
    }

    // Insertion from below: the vehicles arrive nearly in order, so this rarely moves anything.
    void join(std::int32_t lane, int slot, double dist) {
        LaneRow& row = Rows[lane];
        int pos = row.Count++;
        row.Dist[row.Count] = NaN;
        for (; pos > 0 && row.Dist[pos - 1] > dist; --pos)
            put(row, pos, row.Dist[pos - 1], row.Slot[pos - 1]);
        put(row, pos, dist, slot);
        if (std::isnan(dist)) Ordered = false;
        Members[lane] |= 1ULL << slot;
    }

    void leave(std::int32_t lane, int slot) {
        LaneRow& row = Rows[lane];
        for (int pos = RowPos[slot]; pos + 1 < row.Count; ++pos)
            put(row, pos, row.Dist[pos + 1], row.Slot[pos + 1]);
        row.Dist[--row.Count] = NaN;
        Members[lane] &= ~(1ULL << slot);
    }

    // A vehicle moved: give it its new distance and restore the order, usually by no swap at all.
    void reorder(std::int32_t lane, int slot, double dist) {
        LaneRow& row = Rows[lane];
        int pos = RowPos[slot];
        for (; pos + 1 < row.Count && row.Dist[pos + 1] < dist; ++pos)
            put(row, pos, row.Dist[pos + 1], row.Slot[pos + 1]);
        for (; pos > 0 && row.Dist[pos - 1] > dist; --pos)
            put(row, pos, row.Dist[pos - 1], row.Slot[pos - 1]);
        put(row, pos, dist, slot);
        if (std::isnan(dist)) Ordered = false;
    }

    void change_lane(int m, int n, std::int32_t b) {
        const std::int32_t a = Lane[m][n];
        Offset[m][n] = 25 * a;
        Side[m][n] = b - a;
        Lane[m][n] = b;
        Target[m][n] = 25 * b;
        if (Speed[m][n] < 70) Speed[m][n] = 70;
        leave(a, slot_of(m, n));
        join(b, slot_of(m, n), Dist[m][n]);
    }

    // The exact scan for a vehicle with something in its window: the vehicles of its lane in scan
    // order, the window re-evaluated for each with V's current speed. V is never in the row it
    // searches for a gap, so the lane searches need not skip it.
    void follow(int m, int n) {
        const int slot = slot_of(m, n);
        const std::int32_t lane = Lane[m][n];
        for (std::uint64_t rest = Members[lane] & ~(1ULL << slot); rest != 0; rest &= rest - 1) {
            const int w = std::countr_zero(rest);
            const int m2 = w / (LastCar + 1);
            const int n2 = w % (LastCar + 1);
            const double d = static_cast<double>(F.FrameTime) * Speed[m][n] * 36.0;
            if (!(Dist[m][n] + 900.0 <= Dist[m2][n2] && Dist[m2][n2] <= Dist[m][n] + 900.0 + d)) continue;
            const double speed = Speed[m][n];
            if (lane != 1) {
                if (!Rows[1].any_near(Dist[m][n], speed)) {
                    change_lane(m, n, 1);
                    return;
                }
                Speed[m][n] = Speed[m2][n2];
            } else {
                if (!Rows[0].any_near(Dist[m][n], speed))
                    change_lane(m, n, 0);
                else if (!Rows[2].any_near(Dist[m][n], speed))
                    change_lane(m, n, 2);
                else
                    Speed[m][n] = Speed[m2][n2];
                return;
            }
        }
    }

    RoadCells<std::int32_t>& Lane;
    RoadCells<double>& Dist;
    RoadCells<std::int32_t>& Speed;
    RoadCells<std::int32_t>& Offset;
    RoadCells<std::int32_t>& Target;
    RoadCells<std::int32_t>& Side;
    std::int8_t (&Order)[Slots];
    const TrafficFrame& F;

    LaneRow Rows[3];
    std::uint64_t Members[3] = {}; // bit per slot: which vehicles drive in each lane
    int RowPos[Slots];             // row entry of each slot in its lane's row
    bool Ordered = true;           // no NaN distance seen on this road, so every row is sorted
};

} // namespace

void step_traffic(TrafficTables& Tables, const TrafficFrame& Frame) {
    // Roads beyond the tables would fail at their first access and do nothing.
    const int roads = std::min<std::int32_t>(Frame.RoadCount, VehicleTable<int>::Roads);
    for (int r = 0; r < roads; ++r) {
        FastRoad road(Tables, Frame, r);
        for (int m = 0; m < 3; ++m)
            for (int n = 0; n <= LastCar; ++n)
                road.vehicle(m, n);
    }
}

} // namespace kl
