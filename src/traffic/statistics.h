// What the traffic is doing, read from the vehicles it handed out: per lane the vehicles in it, their
// mean speed and the lane changes into it, and overall speed, lane-change rate and spread.
#pragma once

#include "traffic/tables.h"
#include "traffic/vehicles.h"

#include <array>
#include <cstdint>
#include <vector>

namespace kl {

// The roads the tables really hold for a road count: 0 to 251.
std::int32_t roads_in_tables(std::int32_t RoadCount);

struct LaneFigures {
    std::int32_t Vehicles = 0;  // vehicles whose current lane this is, a change in progress included
    double MeanSpeedKmh = 0;    // NaN for an empty lane
    std::int32_t ChangesIn = 0; // vehicles found in this lane that were in another one last window
};

struct TrafficFigures {
    double Time = 0; // seconds of simulated time when the figures were taken
    std::array<LaneFigures, 3> Lanes{};
    double MeanSpeedKmh = 0;     // over every simulated vehicle; NaN without vehicles
    double ChangesPerMinute = 0; // all lane changes of the window, per minute of the window
    double SpreadMetres = 0;     // first to last vehicle along the road, over all roads
    std::int32_t Automated = 0;  // vehicles driven by the wave-damping controller, over all roads
};

// A vehicle's lane at the close of a window.
struct VehicleLane {
    std::int32_t Road = 0, Id = 0, Lane = 0;
};
// The current lane of every vehicle, in the order of the list.
std::vector<VehicleLane> current_lanes(const VehicleList& Vehicles);

// The figures of a window of window_seconds that closed at Time. previous_lanes are the lanes of the
// last window as current_lanes gives them; each vehicle is compared with itself there (its road and
// id), so a vehicle that was not there (none yet, a vehicle that entered since) changed no lane. A
// lane change undone within one window is not seen.
TrafficFigures compute_traffic_figures(const VehicleList& Vehicles,
                                       const std::vector<VehicleLane>& previous_lanes, double window_seconds,
                                       double Time);

// The lanes of the previous window, kept here and never in the traffic.
class TrafficStatistics {
  public:
    // The traffic was set up afresh: its start lanes are the base of the next window.
    void restart(const VehicleList& Vehicles);
    // Figures of the window just closed; its lanes become the base of the next one.
    TrafficFigures close_window(const VehicleList& Vehicles, double window_seconds, double Time);

  private:
    std::vector<VehicleLane> PreviousLanes;
};

} // namespace kl
