// Culled stretch by stretch first: each road's copy of the ring is one box, and only the vehicles of
// the copies whose box can reach a pixel, and is near enough for a vehicle to be a pixel long, are
// tried one by one. At 250 roads that keeps the per-vehicle tests to the copies that matter.
#include "scene/ring_drawing.h"

#include "engine/math.h"
#include "resources/cls3d_object.h"
#include "scene/guarded.h"
#include "scene/scene_state.h"
#include "scene/vehicle_picks.h"
#include "sim/mdl_kl.h"
#include "traffic/traffic.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kl::scene {

using namespace mdlKl;

void DrawRingVehicles(SceneState& S, const DrawReach& reach, double ring) {
    S.Vehicles.Begin();
    const std::int32_t roads = std::min<std::int32_t>(S.RoadCount, VehicleTable<int>::Roads);
    if (roads <= 0 || !(ring > 0) || !S.ChaseCamera) {
        resume_past_fault([&] { S.Vehicles.Draw(); });
        return;
    }
    const Vec3 eye = S.ChaseCamera->Pos(); // world: x across, y up, z along the roads
    // Pixels per metre at one metre: the height of the picture over the height of the view at the
    // program's widest angle of a quarter turn's half, with room for the angle blends.
    const double height = std::max<std::int32_t>(Program().Settings.Height, 1);
    const double width = std::max<std::int32_t>(Program().Settings.Width, 1);
    const double focal = std::max(height, width) / (2 * std::tan(std::numbers::pi / 8));
    const double reach_metres = kRingVehicleMetres * focal;

    const double first_along = 50.0; // where ring position 0 is drawn
    const std::int64_t k_low =
        static_cast<std::int64_t>(std::floor((eye.z - reach_metres - first_along) / ring)) - 1;
    const std::int64_t k_high =
        static_cast<std::int64_t>(std::floor((eye.z + reach_metres - first_along) / ring)) + 1;
    const Matrix4 identity = MatrixIdentity();

    for (std::int32_t r = 0; r < roads; ++r) {
        const double x_low = vehicle_x(r, 0) - 3, x_high = vehicle_x(r, 50) + 3;
        const double dx = eye.x < x_low ? x_low - eye.x : eye.x > x_high ? eye.x - x_high : 0.0;
        if (dx > reach_metres) continue;
        const std::int64_t first_object = vehicle_object_index(Program().BuildingCount, S.RoadCount, 0, 0, r);
        for (std::int64_t image = k_low; image <= k_high; ++image) {
            const auto k = static_cast<double>(image);
            const double z_low = first_along + k * ring - 4, z_high = first_along + (k + 1) * ring + 4;
            const double dz = eye.z < z_low ? z_low - eye.z : eye.z > z_high ? eye.z - z_high : 0.0;
            if (std::hypot(dx, dz) > reach_metres) continue;
            const Vec3 low{static_cast<float>(x_low), VehicleZ - 2.0f, static_cast<float>(z_low)};
            const Vec3 high{static_cast<float>(x_high), VehicleZ + 5.0f, static_cast<float>(z_high)};
            if (reach.ReachesNoPixel(identity, low, high)) continue;
            const auto shift = static_cast<float>(k * ring);
            for (int i = 0; i < 60; ++i) {
                const std::int64_t index = first_object + i;
                if (index > LastObjectIndex) break;
                resume_past_fault([&] {
                    KlObject& object = ObjectAt(index);
                    cls3dObject* model = object.Model();
                    if (model == nullptr) return;
                    Matrix4 world = model->WorldMatrix();
                    world.m43 += shift;
                    Vec3 mesh_low, mesh_high;
                    Detail form = Detail::Full;
                    if (model->MeshBounds(mesh_low, mesh_high) &&
                        !ReachesPicture(reach, world, mesh_low, mesh_high, form))
                        return;
                    // A model the batch cannot take is drawn by itself only where it stands.
                    if (!S.Vehicles.Add(*model, world, form) && image == 0) object.Render();
                });
            }
        }
    }
    resume_past_fault([&] { S.Vehicles.Draw(kRingHandOverVertices); });
}

} // namespace kl::scene
