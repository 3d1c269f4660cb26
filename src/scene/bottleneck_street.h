// The street of the roads fed by an inflow: the city's buildings repeated along the whole road, and at
// every road its bottleneck's furniture (the roadworks' cones, barrier and warning sign, or the
// on-ramp's strip), each model set down road by road in one static batch.
#pragma once

#include "engine/draw_reach.h"
#include "engine/records.h"
#include "scene/view_test.h"
#include "traffic/scenario.h"

#include <cstdint>
#include <vector>

namespace kl::scene {

struct SceneState;
struct Street;

// The city's 400 buildings stand along this much of the street, and repeat with it.
inline constexpr double kCityLength = 3000.0;

// How many copies of the city, one after another from where it stands, reach past the end of a road
// of that length; 1 on the open street and the ring.
std::int32_t CityCopies(TrafficScenario scenario, double road_length);

// Whether a building whose footprint is x0..x1 across and y0..y1 along the street (simulation form)
// stands in the way of the on-ramp of one of the first `roads` roads; such buildings are left out.
bool StandsOnTheRamp(const Bottleneck& b, std::int32_t roads, double x0, double x1, double y0, double y1);

// The bottleneck's models, and where each stands on a road.
enum class Furniture : std::uint8_t { Cone, Barrier, LaneEndsSign, Ramp };
inline constexpr int FurnitureKinds = 4;
const char* furniture_mesh(Furniture kind);

struct FurnitureSpot {
    Furniture Kind = Furniture::Cone;
    // Metres across from the middle of lane 0, and along the road.
    double Across = 0, Position = 0;
};
// Roadworks: cones every 12 m on the line between lanes 1 and 2 from the closure's start to its end
// and a row of them across the closed lane behind the barrier, the barrier across it at the start,
// and the sign 300 m before it beside the right lane. On-ramp: its strip, from where its vehicles
// enter. Nothing for the other streets.
std::vector<FurnitureSpot> BottleneckFurniture(TrafficScenario scenario, double road_length);

// Loads the furniture's models, whatever the street, so that a damaged data folder is told at the
// start; a model that cannot be loaded leaves its furniture out.
void LoadFurnitureModels(Street& street);

// Lays the street out for the traffic set up last (its scenario, road length and road count): the
// city's copies and the furniture batches, made again only when one of those changed.
void FitStreetToTraffic(SceneState& S);

// Whether building's copy moved by shift (engine axes, along the street only) may reach the picture:
// its place is in view and, unless the optimisations are off, its box reaches a pixel.
bool BuildingCopyInView(SceneState& S, const ViewTest& view, const DrawReach& reach, std::uint32_t building,
                        const Vec3& shift);
// Draws building's model by itself, moved by shift for the draw and back: the plain path's copy.
void DrawBuildingCopy(SceneState& S, std::uint32_t building, const Vec3& shift);

// The buildings of every copy of the city in view. False on a street that is not fed by an inflow,
// so that the frame draws its buildings as it always has.
bool DrawRepeatedCity(SceneState& S, const ViewTest& view, const DrawReach& reach);

// The furniture of every road that can reach the picture.
void DrawBottleneckFurniture(SceneState& S, const ViewTest& view, const DrawReach& reach);

} // namespace kl::scene
