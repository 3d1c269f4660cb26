// The street one run of the scene draws: the roads and buildings as static batches, the six vehicle
// models, and this frame's vehicles as the traffic handed them out. Where a vehicle stands in the
// world is worked out here and nowhere else.
#pragma once

#include "engine/records.h"
#include "resources/cls3d_object.h"
#include "resources/moving_batch.h"
#include "resources/static_batch.h"
#include "traffic/idm.h"
#include "traffic/scenario.h"
#include "traffic/vehicles.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kl::mdlKl {
struct ProgramState;
}

namespace kl::scene {

// The scene's object array: the sky (0), the ground (1), the buildings, a strip per road, then
// ObjectsPerRoad vehicles per road, up to LastObjectIndex. Computed wide so that no road count can
// overflow them.
inline constexpr std::int32_t LastObjectIndex = 30000;
inline constexpr int ObjectsPerRoad = 60;
inline long long road_object_index(std::int32_t BuildingCount, long long r) {
    return static_cast<long long>(BuildingCount) + 2 + r;
}
// The object of vehicle `id` of road r (vehicle n of lane slot m is vehicle 20m + n); the first
// vehicle of road RoadCount is one past the last vehicle object.
inline long long vehicle_object_index(std::int32_t BuildingCount, std::int32_t RoadCount, long long id,
                                      long long r) {
    return road_object_index(BuildingCount, RoadCount) + ObjectsPerRoad * r + id;
}

// The object a vehicle of the traffic is placed into, when it has one: the vehicles a road starts
// with do, vehicles beyond them and objects beyond the array do not.
std::optional<std::int32_t> VehicleObject(std::int32_t BuildingCount, std::int32_t RoadCount,
                                          const Vehicle& v);

// The kind of vehicle the object of vehicle `id` is made as: vehicle n of lane slot m (20m + n) is its
// slot's car, its last one (n = 19) its slow vehicle.
inline std::uint8_t ObjectKind(std::int32_t id) {
    const int slot = id / 20, n = id % 20;
    return n == 19 ? slow_vehicle_kind(slot) : car_kind(slot);
}

// The height the vehicle models ride at, so that their wheels stand on the road strips.
inline constexpr float VehicleHeight = -4.8f;

// The road under a point x across the street (the nearest strip) of the first `roads` roads; -1 when
// there is none.
std::int32_t road_under(double x, std::int32_t roads);

// Where vehicle v stands, in simulation form (x across the street, y along it, z up): its road's
// lane 0 at 54 + 20 r, the metres across its lane, and position 0 of every road 50 m up the street.
Vec3 VehicleSimPosition(const Vehicle& v);

// One of the vehicle models: the mesh a kind of vehicle is drawn with, turned to face along the road,
// and its model-space box (when it could be read).
struct VehicleModel {
    cls3dObject* Model = nullptr;
    bool HasBox = false;
    Vec3 Low, High;
};

// One model of a bottleneck's furniture (bottleneck_street.h) and everywhere it stands: a copy of it
// in the batch for each place.
struct FurnitureBatch {
    std::unique_ptr<cls3dObject> Model;
    // Simulation form, one per copy in the batch's order.
    std::vector<Vec3> Spots;
    StaticBatch Batch;
};

// The automated vehicles' paint: a green no other vehicle, lane mark or sign of the street has.
inline constexpr ColorValue kAutomatedTint{0.15f, 1.0f, 0.35f, 1.0f};
// Materials at least this bright are paint, lights, hubs and plates; darker ones glass, tyres, trim.
inline constexpr float kAutomatedTintFrom = 0.35f;

struct Street {
    // The buildings in world space, drawn a subset at a time; empty when they cannot be drawn so. On
    // a road fed by an inflow, the city's copies one after another.
    StaticBatch Buildings;
    // What the street is laid out for: the scenario, road length and road count of the traffic set
    // up last.
    struct Layout {
        TrafficScenario Scenario = TrafficScenario::Open;
        double RoadLength = 0;
        std::int32_t Roads = 0;
    } Laid;
    // On a road fed by an inflow, the buildings of every copy of the city, in the buildings' batch's
    // order (each building's object among the buildings, and how far it is moved in world space);
    // none: the city once, where it stands.
    std::vector<BatchPlacement> City;
    // The bottleneck's furniture, by kind (bottleneck_street.h's Furniture).
    std::array<FurnitureBatch, 4> Furniture;
    // The road strips in world space, cut into pieces along their length.
    StaticBatch Roads;
    // The vehicles of this frame, drawn model by model.
    MovingBatch VehicleBatch;
    // The vehicles as the traffic's last set-up or step handed them out.
    VehicleList Vehicles;
    // By vehicle kind; a kind whose model could not be loaded has none.
    std::array<VehicleModel, VehicleKinds> Models{};
    // The automated vehicles' look, by kind: the kind's model in a colour of its own
    // (kAutomatedTint), a model of its own so that the batch draws all of them in one go; a kind
    // without one draws its automated vehicles as the others.
    std::array<VehicleModel, VehicleKinds> AutomatedModels{};
    std::array<std::unique_ptr<cls3dObject>, VehicleKinds> AutomatedMeshes;

    // The model vehicle v is drawn with; none for a kind without one.
    const VehicleModel* ModelOf(const Vehicle& v) const {
        if (v.Automated && v.Kind < AutomatedModels.size() && AutomatedModels[v.Kind].Model != nullptr)
            return &AutomatedModels[v.Kind];
        return v.Kind < Models.size() && Models[v.Kind].Model != nullptr ? &Models[v.Kind] : nullptr;
    }
    // The transform vehicle v is drawn with by its model; at, where it stands, when worked out already.
    static Matrix4 World(const VehicleModel& model, const Vehicle& v) {
        return World(model, VehicleSimPosition(v));
    }
    static Matrix4 World(const VehicleModel& model, const Vec3& at);
};

// The length of each vehicle model as loaded, along the road; a model that could not be loaded or
// measured keeps the generator's length.
VehicleLengths measured_vehicle_lengths(const Street& street);
// The model file a kind of vehicle is drawn with.
const char* VehicleModelFile(std::uint8_t kind);
// The boxes of the six vehicle models (street.Models) read from their files in the data folder,
// without making a model: what measured_vehicle_lengths reads when nothing is drawn. A file that
// cannot be read leaves its kind without a box.
void TakeVehicleBoxesFromFiles(Street& street);

// Draws vehicle v by itself, where it stands, for when the batch cannot take its model. On the
// drawing thread only: its model is moved there for the draw and back.
void DrawVehicleAlone(const Street& street, const Vehicle& v);

// Puts every vehicle of the list that has an object of its own into it (MOVEobj), so that the objects
// stand where the traffic left their vehicles. A vehicle whose object cannot be moved is skipped.
void PlaceVehicleObjects(mdlKl::ProgramState& program, const VehicleList& vehicles, std::int32_t RoadCount);

} // namespace kl::scene
