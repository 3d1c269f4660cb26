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

#include "scene/traffic.h"

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

// The distances of the vehicles that drive in one lane, unordered, and always a NaN right after the
// last one, which pads the row to an even count: NaN fails every comparison, so the padding never
// counts as a vehicle.
struct LaneRow {
    alignas(16) double Dist[RowCapacity];
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

// 4 x offset / 25 for every settled and sliding offset; the division gives the same double every
// time, so looking it up changes nothing but the cost.
struct OffsetShift {
    double Value[51];
    OffsetShift() {
        for (int off = 0; off <= 50; ++off)
            Value[off] = 4 * off / 25.0;
    }
    double operator()(std::int32_t off) const { return off >= 0 && off <= 50 ? Value[off] : 4 * off / 25.0; }
};
const OffsetShift offset_shift;

class FastRoad {
  public:
    FastRoad(TrafficTables& T, const TrafficFrame& Frame, int Road)
        : Lane(T.VehLane.road(Road)), Dist(T.VehDist.road(Road)), Speed(T.VehSpeed.road(Road)),
          Offset(T.VehOffset.road(Road)), Target(T.VehTargetOffset.road(Road)),
          Side(T.VehSideStep.road(Road)), F(Frame), RoadX(54 + 20 * Road),
          FirstObj(vehicle_object_index(Frame.BuildingCount, Frame.RoadCount, 0, 0, Road)) {
        for (LaneRow& row : Rows)
            row.Dist[0] = NaN;
        for (int m = 0; m < 3; ++m)
            for (int n = 0; n <= LastCar; ++n)
                if (valid_lane(Lane[m][n])) join(Lane[m][n], slot_of(m, n), Dist[m][n]);
    }

    void vehicle(int m, int n, VehiclePlacementSink& Sink) {
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
            if (Rows[Lane[m][n]].any_within(lo, hi)) follow(m, n);
        }

        Dist[m][n] += static_cast<double>(F.LastFrameTime) * speed * 36.0;
        if (valid_lane(Lane[m][n])) Rows[Lane[m][n]].Dist[RowPos[slot]] = Dist[m][n];

        Offset[m][n] += Side[m][n];
        if (Offset[m][n] == Target[m][n]) Side[m][n] = 0;

        const long long obj = FirstObj + slot;
        if (obj < 0 || obj > LastObjectIndex) return;
        const double x = RoadX + offset_shift(Offset[m][n]);
        const double y = 50.0 + Dist[m][n] / 100.0;
        Sink.place_vehicle(static_cast<std::int32_t>(obj), static_cast<float>(x), static_cast<float>(y),
                           -4.8f);
    }

  private:
    static constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

    void join(std::int32_t lane, int slot, double dist) {
        LaneRow& row = Rows[lane];
        RowPos[slot] = row.Count;
        RowSlot[lane][row.Count] = slot;
        row.Dist[row.Count++] = dist;
        row.Dist[row.Count] = NaN;
        Members[lane] |= 1ULL << slot;
    }

    void leave(std::int32_t lane, int slot) {
        LaneRow& row = Rows[lane];
        const int pos = RowPos[slot];
        const int last = --row.Count;
        row.Dist[pos] = row.Dist[last];
        RowSlot[lane][pos] = RowSlot[lane][last];
        RowPos[RowSlot[lane][pos]] = pos;
        row.Dist[last] = NaN;
        Members[lane] &= ~(1ULL << slot);
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
    const TrafficFrame& F;
    const int RoadX;
    const long long FirstObj;

    LaneRow Rows[3];
    std::uint64_t Members[3] = {}; // bit per slot: which vehicles drive in each lane
    int RowSlot[3][RowCapacity];   // slot of each row entry
    int RowPos[Slots];             // row entry of each slot in its lane's row
};

} // namespace

void step_traffic(TrafficTables& Tables, const TrafficFrame& Frame, VehiclePlacementSink& Sink) {
    // Roads beyond the tables would fail at their first access and do nothing.
    const int roads = std::min<std::int32_t>(Frame.RoadCount, VehicleTable<int>::Roads);
    for (int r = 0; r < roads; ++r) {
        FastRoad road(Tables, Frame, r);
        for (int m = 0; m < 3; ++m)
            for (int n = 0; n <= LastCar; ++n)
                road.vehicle(m, n, Sink);
    }
}

} // namespace kl
