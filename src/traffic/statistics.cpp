// Figures over the simulated vehicles only (vehicles 0 to LastCar of each lane slot, roads the tables
// hold), read through each road's block once its index is known to be valid.
#include "traffic/statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kl {

namespace {
constexpr int kPerLane = TrafficTables::LastCar + 1;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
} // namespace

std::int32_t roads_in_tables(std::int32_t RoadCount) {
    return std::clamp<std::int32_t>(RoadCount, 0, VehicleTable<int>::Roads);
}

std::vector<std::int32_t> current_lanes(const TrafficTables& Tables, std::int32_t RoadCount) {
    const std::int32_t roads = roads_in_tables(RoadCount);
    std::vector<std::int32_t> lanes;
    lanes.reserve(static_cast<std::size_t>(roads) * 3 * kPerLane);
    for (std::int32_t r = 0; r < roads; ++r) {
        const auto& lane = Tables.VehLane.road(static_cast<std::size_t>(r));
        for (int m = 0; m < 3; ++m)
            lanes.insert(lanes.end(), lane[m], lane[m] + kPerLane);
    }
    return lanes;
}

TrafficFigures compute_traffic_figures(const TrafficTables& Tables, std::int32_t RoadCount,
                                       const std::vector<std::int32_t>& previous_lanes, double window_seconds,
                                       double Time) {
    const std::int32_t roads = roads_in_tables(RoadCount);
    const bool have_previous = previous_lanes.size() == static_cast<std::size_t>(roads) * 3 * kPerLane;

    TrafficFigures F;
    F.Time = Time;
    std::array<double, 3> lane_speed{};
    double all_speed = 0;
    std::int64_t all_vehicles = 0, changes = 0;
    double first = std::numeric_limits<double>::infinity(), last = -first;
    std::size_t i = 0;
    for (std::int32_t r = 0; r < roads; ++r) {
        const auto ru = static_cast<std::size_t>(r);
        const auto& lane = Tables.VehLane.road(ru);
        const auto& speed = Tables.VehSpeed.road(ru);
        const auto& dist = Tables.VehDist.road(ru);
        for (int m = 0; m < 3; ++m) {
            for (int n = 0; n < kPerLane; ++n, ++i) {
                const double kmh = speed_kmh(speed[m][n]);
                all_speed += kmh;
                ++all_vehicles;
                first = std::min(first, dist[m][n]);
                last = std::max(last, dist[m][n]);
                // A lane value the simulation never writes counts in the overall figures only.
                const std::int32_t l = lane[m][n];
                if (l < 0 || l > 2) continue;
                LaneFigures& L = F.Lanes[static_cast<std::size_t>(l)];
                ++L.Vehicles;
                lane_speed[static_cast<std::size_t>(l)] += kmh;
                if (have_previous && previous_lanes[i] != l) {
                    ++L.ChangesIn;
                    ++changes;
                }
            }
        }
    }
    for (std::size_t l = 0; l < 3; ++l)
        F.Lanes[l].MeanSpeedKmh = F.Lanes[l].Vehicles > 0 ? lane_speed[l] / F.Lanes[l].Vehicles : kNaN;
    F.MeanSpeedKmh = all_vehicles > 0 ? all_speed / static_cast<double>(all_vehicles) : kNaN;
    F.ChangesPerMinute = window_seconds > 0 ? static_cast<double>(changes) * 60.0 / window_seconds : 0.0;
    F.SpreadMetres = all_vehicles > 0 ? (last - first) / 100.0 : 0.0;
    return F;
}

void TrafficStatistics::restart(const TrafficTables& Tables, std::int32_t RoadCount) {
    PreviousLanes = current_lanes(Tables, RoadCount);
}

TrafficFigures TrafficStatistics::close_window(const TrafficTables& Tables, std::int32_t RoadCount,
                                               double window_seconds, double Time) {
    TrafficFigures F = compute_traffic_figures(Tables, RoadCount, PreviousLanes, window_seconds, Time);
    PreviousLanes = current_lanes(Tables, RoadCount);
    return F;
}

} // namespace kl
