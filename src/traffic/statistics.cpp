// Figures over the vehicles the traffic handed out, in one pass over the list.
#include "traffic/statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kl {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
} // namespace

std::int32_t roads_in_tables(std::int32_t RoadCount) {
    return std::clamp<std::int32_t>(RoadCount, 0, VehicleTable<int>::Roads);
}

std::vector<VehicleLane> current_lanes(const VehicleList& Vehicles) {
    std::vector<VehicleLane> lanes;
    lanes.reserve(Vehicles.size());
    for (const Vehicle& v : Vehicles.all())
        lanes.push_back({v.Road, v.Id, v.Lane});
    return lanes;
}

namespace {

bool before(const VehicleLane& a, const VehicleLane& b) {
    return a.Road != b.Road ? a.Road < b.Road : a.Id < b.Id;
}

// The lanes of the last window, found for a vehicle of this one: at its own place in the list when the
// vehicles kept their places (the program's own traffic always does), else by road and id.
class PreviousLanes {
  public:
    explicit PreviousLanes(const std::vector<VehicleLane>& lanes) : Lanes(lanes) {}
    const VehicleLane* of(const Vehicle& v, std::size_t at) {
        if (at < Lanes.size() && Lanes[at].Road == v.Road && Lanes[at].Id == v.Id) return &Lanes[at];
        if (Sorted.empty() && !Lanes.empty()) {
            Sorted = Lanes;
            std::sort(Sorted.begin(), Sorted.end(), before);
        }
        const VehicleLane key{v.Road, v.Id, 0};
        const auto found = std::lower_bound(Sorted.begin(), Sorted.end(), key, before);
        return found != Sorted.end() && !before(key, *found) ? &*found : nullptr;
    }

  private:
    const std::vector<VehicleLane>& Lanes;
    std::vector<VehicleLane> Sorted;
};

} // namespace

TrafficFigures compute_traffic_figures(const VehicleList& Vehicles,
                                       const std::vector<VehicleLane>& previous_lanes, double window_seconds,
                                       double Time) {
    PreviousLanes previous(previous_lanes);

    TrafficFigures F;
    F.Time = Time;
    std::array<double, 3> lane_speed{};
    double all_speed = 0;
    std::int64_t all_vehicles = 0, changes = 0;
    double first = std::numeric_limits<double>::infinity(), last = -first;
    std::size_t i = 0;
    for (const Vehicle& v : Vehicles.all()) {
        const std::size_t at = i++;
        const double kmh = v.Speed * 3.6;
        all_speed += kmh;
        ++all_vehicles;
        F.Automated += v.Automated ? 1 : 0;
        first = std::min(first, v.Position);
        last = std::max(last, v.Position);
        // A lane value the simulation never writes counts in the overall figures only.
        const std::int32_t l = v.Lane;
        if (l < 0 || l > 2) continue;
        LaneFigures& L = F.Lanes[static_cast<std::size_t>(l)];
        ++L.Vehicles;
        lane_speed[static_cast<std::size_t>(l)] += kmh;
        if (const VehicleLane* was = previous.of(v, at); was && was->Lane != l) {
            ++L.ChangesIn;
            ++changes;
        }
    }
    for (std::size_t l = 0; l < 3; ++l)
        F.Lanes[l].MeanSpeedKmh = F.Lanes[l].Vehicles > 0 ? lane_speed[l] / F.Lanes[l].Vehicles : kNaN;
    F.MeanSpeedKmh = all_vehicles > 0 ? all_speed / static_cast<double>(all_vehicles) : kNaN;
    F.ChangesPerMinute = window_seconds > 0 ? static_cast<double>(changes) * 60.0 / window_seconds : 0.0;
    F.SpreadMetres = all_vehicles > 0 ? last - first : 0.0;
    return F;
}

void TrafficStatistics::restart(const VehicleList& Vehicles) {
    PreviousLanes = current_lanes(Vehicles);
}

TrafficFigures TrafficStatistics::close_window(const VehicleList& Vehicles, double window_seconds,
                                               double Time) {
    TrafficFigures F = compute_traffic_figures(Vehicles, PreviousLanes, window_seconds, Time);
    PreviousLanes = current_lanes(Vehicles);
    return F;
}

} // namespace kl
