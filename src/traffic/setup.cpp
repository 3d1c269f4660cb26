// Filling the traffic tables at scene set-up and on restart, and reading the vehicles out of them.
#include "traffic/traffic.h"

#include <algorithm>
#include <cmath>

namespace kl {

namespace {

// Half-to-even under the default rounding mode.
std::int32_t round_speed(double speed) {
    return static_cast<std::int32_t>(std::nearbyint(speed));
}

} // namespace

void set_up_traffic(TrafficTables& Tables, std::int32_t RoadCount, UniformSource& Random) {
    constexpr std::int32_t LastCar = TrafficTables::LastCar;
    // Every statement for a road beyond the tables fails, so such a road gets nothing: no values and
    // no random numbers.
    const int roads = std::min<std::int32_t>(RoadCount, VehicleTable<int>::Roads);
    for (int r = 0; r < roads; ++r) {
        for (int m = 0; m < 3; ++m) {
            for (int n = 0; n <= LastCar; ++n) {
                Tables.VehLane(m, n, r) = m;
                Tables.VehTargetOffset(m, n, r) = 25 * m;
                Tables.VehOffset(m, n, r) = 25 * m;
                Tables.VehSideStep(m, n, r) = 0;
                if (n < LastCar) {
                    Tables.VehDist(m, n, r) = (600.0 * Random.next() + 1400.0 * n) * 3.0;
                    Tables.VehSpeed(m, n, r) = round_speed(100.0 + 20.0 * Random.next());
                } else {
                    Tables.VehDist(m, n, r) = (3000.0 * Random.next() + 1400.0 * (LastCar + 2)) * 3.0;
                    Tables.VehSpeed(m, n, r) = round_speed(70.0 + 9.0 * Random.next());
                }
            }
        }
    }
}

void list_table_vehicles(const TrafficTables& Tables, std::int32_t RoadCount, VehicleList& Out) {
    constexpr std::int32_t LastCar = TrafficTables::LastCar;
    const int roads = std::clamp<std::int32_t>(RoadCount, 0, VehicleTable<int>::Roads);
    Out.start(roads);
    Out.reserve(static_cast<std::size_t>(roads) * 3 * (LastCar + 1));
    for (int r = 0; r < roads; ++r) {
        const auto ru = static_cast<std::size_t>(r);
        const auto& lane = Tables.VehLane.road(ru);
        const auto& dist = Tables.VehDist.road(ru);
        const auto& speed = Tables.VehSpeed.road(ru);
        const auto& offset = Tables.VehOffset.road(ru);
        for (int m = 0; m < 3; ++m) {
            for (int n = 0; n <= LastCar; ++n) {
                Vehicle v;
                v.Road = r;
                v.Id = m * (LastCar + 1) + n;
                v.Lane = lane[m][n];
                v.Kind = n < LastCar ? car_kind(m) : slow_vehicle_kind(m);
                v.Across = offset_metres(offset[m][n]);
                v.Position = distance_metres(dist[m][n]);
                v.Speed = speed[m][n] * MetresPerSecondPerSpeedUnit;
                Out.add(v);
            }
        }
    }
}

} // namespace kl
