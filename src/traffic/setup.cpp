// Filling the traffic tables at scene set-up and on restart.
#include "traffic/traffic.h"

#include <algorithm>
#include <cmath>

namespace kl {

namespace {

// Half-to-even under the default rounding mode.
std::int32_t round_speed(double speed) {
    return static_cast<std::int32_t>(std::nearbyint(speed));
}

void place_if_in_objects(VehiclePlacementSink& Sink, long long ObjIndex, float x, float y, float z) {
    if (ObjIndex < 0 || ObjIndex > LastObjectIndex) return;
    Sink.place_vehicle(static_cast<std::int32_t>(ObjIndex), x, y, z);
}

} // namespace

void set_up_traffic(TrafficTables& Tables, std::int32_t RoadCount, std::int32_t BuildingCount,
                    UniformSource& Random, VehiclePlacementSink& Sink) {
    constexpr std::int32_t LastCar = TrafficTables::LastCar;
    // Every statement for a road beyond the tables fails, so such a road gets nothing: no values, no
    // random numbers and no placement.
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
                // The frame step places every vehicle anew before it is drawn, so this placement
                // (a tenth of the distance, on the ground) is never seen.
                place_if_in_objects(Sink, vehicle_object_index(BuildingCount, RoadCount, m, n, r),
                                    static_cast<float>(54 + 4 * m + 20 * r),
                                    static_cast<float>(Tables.VehDist(m, n, r) / 10.0 + 50.0), 0.0f);
            }
        }
    }
}

} // namespace kl
