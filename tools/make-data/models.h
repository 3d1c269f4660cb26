// The meshes of the scene. Each is built in its own model space; the scene places it:
// sky at (800, -500, 800), ground at (-6000, -5, 0), buildings on both sides at height -5, road
// strips at (51.85 + 20 r, -4.9, 50) and vehicles at height -4.8 turned to face down the road
// (engine coordinates, y up).
#pragma once

#include "mesh.h"

#include <string>
#include <vector>

namespace kl::data {

// Sky: a dome of 30 km radius seen from inside, its horizon at model y = 495 so that it meets the
// ground (0.5 km below the dome's placement), with a skirt below.
constexpr float kSkyRadius = 30000.0f;
constexpr float kSkyHorizonY = 495.0f;
Mesh build_sky();
// Ground: paving over x -24 km .. 76 km, z -30 km .. 70 km, at y = 0.
Mesh build_ground();
// Road strip: kRoadWidth wide along +z for kRoadLength, top at y = 0, sides down to the ground.
constexpr float kRoadLength = 64 * 480.0f;
Mesh build_road();
// Building block: four terraced houses of different heights and styles over x 0..10, z 0..25.
Mesh build_building();

// The bottleneck's furniture, each standing on model y = 0 and set down by the scene at every road.
// Cone: kConeHeight tall, centred on x = z = 0. Barrier: across a lane, centred on x = z = 0. Sign:
// a board on a post at x = z = 0, its face towards -z (the oncoming traffic).
constexpr float kConeHeight = 0.75f;
constexpr const char* kConeFile = "cone.x";
constexpr const char* kBarrierFile = "barrier.x";
constexpr const char* kLaneEndsSignFile = "lane-ends.x";
constexpr const char* kRampFile = "ramp.x";
Mesh build_cone();
Mesh build_barrier();
Mesh build_lane_ends_sign();
// On-ramp: a lane of road strip from where its vehicles enter (z = 0) to where it ends, its middle at
// x = ramp_across(...) from the middle of the road's lane 0: coming in at an angle, then beside the
// road's right lane as the acceleration lane.
Mesh build_ramp();

enum class VehicleShape { Hatchback, SmallCar, Saloon, LargeSaloon, Van, LargeVan };

struct VehicleSpec {
    const char* file;
    const char* mesh_name;
    VehicleShape shape;
    float length, width, height; // overall; width over the wheels
    float wheel_radius, clearance;
    float belt;                  // top of the bonnet and boot
    float nose_top;              // top of the upright front face
    float bonnet;                // from the nose to the foot of the windscreen
    float screen_run, rear_run;  // horizontal reach of the sloping windscreen and rear window
    float boot;                  // from the tail to the foot of the rear window
    float inset;                 // cabin narrower than the body on each side
    float front_axle, rear_axle; // distance of the axles from nose and tail
    float paint[3];
};

// Nose towards -x, wheels standing on y = 0, centred on x = 0 and z = 0.
Mesh build_vehicle(const VehicleSpec& spec);
const std::vector<VehicleSpec>& vehicle_specs();

struct NamedMesh {
    std::string file;
    Mesh mesh;
};
// All of them, in the order sky, ground, building, road, the vehicles, then the bottleneck's
// furniture.
std::vector<NamedMesh> build_meshes();
// Their file names in the same order, without building anything.
std::vector<std::string> mesh_file_names();

} // namespace kl::data
