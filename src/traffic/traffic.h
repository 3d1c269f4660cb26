// The computer-driven traffic: filling the tables at set-up and restart, the per-frame step
// (acceleration, following, lane changes, move and side slide of each vehicle), and the vehicles the
// tables hold, handed out as values.
#pragma once

#include "traffic/random_source.h"
#include "traffic/tables.h"
#include "traffic/vehicles.h"

#include <cstdint>

namespace kl {

// What one frame hands the traffic. FrameTime is this frame's time, used for looking ahead;
// LastFrameTime is the previous frame's, used for the move.
struct TrafficFrame {
    std::int32_t RoadCount = 0;
    float FrameTime = 0.0f;
    float LastFrameTime = 0.0f;
};

// Fresh traffic for roads 0 .. RoadCount - 1: every vehicle in its own lane, cars at 100 to 120 spaced
// along the road, the slow last vehicle of each lane at 70 to 79 farthest ahead. Draws two random
// numbers per vehicle (distance, then speed). Roads beyond the tables are left alone.
void set_up_traffic(TrafficTables& Tables, std::int32_t RoadCount, UniformSource& Random);

// One frame of traffic, scanned road by road, lane slot by lane slot, vehicle by vehicle; each vehicle
// sees the ones scanned before it already updated. Roads beyond the tables do nothing.
void step_traffic(TrafficTables& Tables, const TrafficFrame& Frame);

// The same step written as a plain scan with a checked access for every table read and write: the
// reference the fast step must match bit for bit.
void step_traffic_plain(TrafficTables& Tables, const TrafficFrame& Frame);

// The tables' units: a distance of 100 is one metre, a speed of 1 is 0.36 m/s (36 hundredths a
// second), an offset of 25 is one lane.
inline constexpr double DistancePerMetre = 100.0;
inline constexpr double MetresPerSecondPerSpeedUnit = 0.36;
inline constexpr std::int32_t OffsetPerLane = 25;

inline double distance_metres(double dist) {
    return dist / DistancePerMetre;
}
// Metres across from lane 0's middle of a lateral offset.
inline double offset_metres(std::int32_t offset) {
    return LaneWidthMetres * offset / OffsetPerLane;
}

// Every simulated vehicle of roads 0 .. RoadCount - 1 (at most the tables' roads) as the tables hold
// it; vehicle n of lane slot m is vehicle 20m + n of its road.
void list_table_vehicles(const TrafficTables& Tables, std::int32_t RoadCount, VehicleList& Out);

} // namespace kl
