// The traffic step as the frame loop runs it: the same scan, the same decisions and the same
// floating-point operations as the plain scan, but most vehicles are let off after one pass of
// comparisons over their lane, and a road's cells are reached without per-access checks.
#include <algorithm>
#include <cmath>
#include <limits>

#include "scene/traffic.h"

namespace kl {

namespace {

constexpr int LastCar = TrafficTables::LastCar;
constexpr int KeySlots = 64; // 3 x 20 simulated vehicles, padded for whole vector passes

template <typename T>
using RoadCells = typename VehicleTable<T>::Road;

constexpr int key_slot(int m, int n) { return m * (LastCar + 1) + n; }

bool valid_lane(std::int32_t lane) { return lane >= 0 && lane < 3; }

// Is any key inside [lo, hi]? NaN keys never are. No early exit: a fixed trip count over aligned
// doubles lets the compiler turn this into plain vector compares.
bool any_in_window(const double* keys, double lo, double hi) {
    unsigned hits = 0;
    for (int i = 0; i < KeySlots; ++i)
        hits |= static_cast<unsigned>(lo <= keys[i]) & static_cast<unsigned>(keys[i] <= hi);
    return hits != 0;
}

class FastRoad {
public:
    FastRoad(TrafficTables& T, const TrafficFrame& Frame, int Road)
        : Lane(T.VehLane.road(Road)), Dist(T.VehDist.road(Road)), Speed(T.VehSpeed.road(Road)),
          Offset(T.VehOffset.road(Road)), Target(T.VehTargetOffset.road(Road)), Side(T.VehSideStep.road(Road)), F(Frame), r(Road) {
        for (auto& row : Keys) std::fill(std::begin(row), std::end(row), NaN);
        for (int m = 0; m < 3; ++m)
            for (int n = 0; n <= LastCar; ++n)
                if (valid_lane(Lane[m][n])) Keys[Lane[m][n]][key_slot(m, n)] = Dist[m][n];
    }

    void vehicle(int m, int n, VehiclePlacementSink& Sink) {
        std::int32_t& speed = Speed[m][n];
        if (speed < 120 && n < LastCar) {
            speed += 1;
            if (speed >= 120) speed = 120;
        }
        if (n < LastCar) {
            const std::int32_t lane = Lane[m][n];
            // Same expression as the exact window test, so this pass rejects exactly the vehicles
            // for which the exact scan would find nothing ahead.
            const double d = static_cast<double>(F.FrameTime) * speed * 36.0;
            const double lo = Dist[m][n] + 900.0;
            const double hi = Dist[m][n] + 900.0 + d;
            if (valid_lane(lane) && any_in_window(Keys[lane], lo, hi)) follow(m, n);
        }

        Dist[m][n] += static_cast<double>(F.LastFrameTime) * speed * 36.0;
        if (valid_lane(Lane[m][n])) Keys[Lane[m][n]][key_slot(m, n)] = Dist[m][n];

        Offset[m][n] += Side[m][n];
        if (Offset[m][n] == Target[m][n]) Side[m][n] = 0;

        const long long obj = vehicle_object_index(F.BuildingCount, F.RoadCount, m, n, r);
        if (obj < 0 || obj > LastObjectIndex) return;
        const double x = (54 + 20 * r) + 4 * Offset[m][n] / 25.0;
        const double y = 50.0 + Dist[m][n] / 100.0;
        Sink.place_vehicle(static_cast<std::int32_t>(obj), static_cast<float>(x), static_cast<float>(y), -4.8f);
    }

private:
    static constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

    bool near(int m, int n, int m2, int n2) const {
        return std::fabs(Dist[m][n] - Dist[m2][n2]) < 900.0 ||
               std::fabs(Dist[m][n] - Dist[m2][n2] + Speed[m][n]) < 1020.0;
    }

    bool middle_lane_blocked(int m, int n) const {
        for (int m2 = 0; m2 < 3; ++m2)
            for (int n2 = 0; n2 <= LastCar; ++n2)
                if (!(m2 == m && n2 == n) && Lane[m2][n2] == 1 && near(m, n, m2, n2)) return true;
        return false;
    }

    void change_lane(int m, int n, std::int32_t b) {
        const std::int32_t a = Lane[m][n];
        Offset[m][n] = 25 * a;
        Side[m][n] = b - a;
        Lane[m][n] = b;
        Target[m][n] = 25 * b;
        if (Speed[m][n] < 70) Speed[m][n] = 70;
        Keys[a][key_slot(m, n)] = NaN;
        Keys[b][key_slot(m, n)] = Dist[m][n];
    }

    // The exact scan for a vehicle that has something in its window; rare, so kept plain.
    void follow(int m, int n) {
        for (int m2 = 0; m2 < 3; ++m2) {
            for (int n2 = 0; n2 <= LastCar; ++n2) {
                if (m2 == m && n2 == n) continue;
                if (Lane[m2][n2] != Lane[m][n]) continue;
                const double d = static_cast<double>(F.FrameTime) * Speed[m][n] * 36.0;
                if (!(Dist[m][n] + 900.0 <= Dist[m2][n2] && Dist[m2][n2] <= Dist[m][n] + 900.0 + d)) continue;
                const std::int32_t lane = Lane[m][n];
                if (lane == 0 || lane == 2) {
                    if (!middle_lane_blocked(m, n)) {
                        change_lane(m, n, 1);
                        return;
                    }
                    Speed[m][n] = Speed[m2][n2];
                } else {
                    bool free0 = true;
                    bool free2 = true;
                    for (int m3 = 0; m3 < 3 && (free0 || free2); ++m3) {
                        for (int n3 = 0; n3 <= LastCar && (free0 || free2); ++n3) {
                            if (m3 == m && n3 == n) continue;
                            if (Lane[m3][n3] == 0 && near(m, n, m3, n3)) free0 = false;
                            if (Lane[m3][n3] == 2 && near(m, n, m3, n3)) free2 = false;
                        }
                    }
                    if (free0)
                        change_lane(m, n, 0);
                    else if (free2)
                        change_lane(m, n, 2);
                    else
                        Speed[m][n] = Speed[m2][n2];
                    return;
                }
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
    const int r;
    // Each vehicle's distance under the lane it drives in and NaN under the others, kept current as
    // vehicles move and change lane, so one pass over a lane's row tells whether anything is in a window.
    alignas(64) double Keys[3][KeySlots];
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
