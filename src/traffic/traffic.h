// The computer-driven traffic: filling the tables at set-up and restart, and the per-frame step
// (acceleration, following, lane changes, move, side slide and placement of each vehicle's object).
#pragma once

#include "traffic/random_source.h"
#include "traffic/tables.h"

#include <cstdint>

namespace kl {

// Highest index of the scene's object array; a vehicle whose object would lie beyond it is simulated
// but never placed.
inline constexpr std::int32_t LastObjectIndex = 30000;

// Receives the position of each vehicle's object (vehicle form: x across the road, y along it, z up),
// in scan order, on the calling thread. The scene forwards it to the object's MOVEobj.
class VehiclePlacementSink {
  public:
    virtual ~VehiclePlacementSink() = default;
    virtual void place_vehicle(std::int32_t ObjIndex, float x, float y, float z) = 0;
};

// What one frame hands the traffic. FrameTime is this frame's time, used for looking ahead;
// LastFrameTime is the previous frame's, used for the move.
struct TrafficFrame {
    std::int32_t RoadCount = 0;
    std::int32_t BuildingCount = 400;
    float FrameTime = 0.0f;
    float LastFrameTime = 0.0f;
};

// The scene's object array: the sky (0), the ground (1), the buildings, a strip per road, then 60
// vehicles per road. Computed wide so that no road count can overflow them.
inline long long road_object_index(std::int32_t BuildingCount, int r) {
    return static_cast<long long>(BuildingCount) + 2 + r;
}
// Vehicle n of lane slot m on road r. Vehicle 0 of slot 0 on road RoadCount is one past the last
// vehicle.
inline long long vehicle_object_index(std::int32_t BuildingCount, std::int32_t RoadCount, int m, int n,
                                      int r) {
    return road_object_index(BuildingCount, RoadCount) + 60LL * r + 20LL * m + n;
}

// Where the scene draws a vehicle: across the street from its road and lane offset (0 to 50 from the
// left lane to the right one), along the road from its distance in hundredths.
inline double vehicle_x(int r, std::int32_t offset) {
    return (54 + 20 * r) + 4 * offset / 25.0;
}
inline double vehicle_y(double dist) {
    return 50.0 + dist / 100.0;
}
inline constexpr float VehicleZ = -4.8f;

// Fresh traffic for roads 0 .. RoadCount - 1: every vehicle in its own lane, cars at 100 to 120 spaced
// along the road, the slow last vehicle of each lane at 70 to 79 farthest ahead. Draws two random
// numbers per vehicle (distance, then speed). Roads beyond the tables are left alone and unplaced.
void set_up_traffic(TrafficTables& Tables, std::int32_t RoadCount, std::int32_t BuildingCount,
                    UniformSource& Random, VehiclePlacementSink& Sink);

// One frame of traffic, scanned road by road, lane slot by lane slot, vehicle by vehicle; each vehicle
// sees the ones scanned before it already updated. Roads beyond the tables do nothing.
void step_traffic(TrafficTables& Tables, const TrafficFrame& Frame, VehiclePlacementSink& Sink);

// The same step written as a plain scan with a checked access for every table read and write: the
// reference the fast step must match bit for bit.
void step_traffic_plain(TrafficTables& Tables, const TrafficFrame& Frame, VehiclePlacementSink& Sink);

} // namespace kl
