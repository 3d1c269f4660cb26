// Culled stretch by stretch first: each road's copy of the ring is one box, and only the vehicles of
// the copies whose box can reach a pixel, and is near enough for a vehicle to be a pixel long, are
// tried one by one. At 250 roads that keeps the per-vehicle tests to the copies that matter.
#include "scene/ring_drawing.h"

#include "engine/math.h"
#include "platform/os/optimisations.h"
#include "resources/cls3d_object.h"
#include "resources/static_batch.h"
#include "scene/bottleneck_street.h"
#include "scene/guarded.h"
#include "scene/scene_state.h"
#include "scene/vehicle_picks.h"
#include "sim/mdl_kl.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kl::scene {

bool DrawRingCity(SceneState& S, const ViewTest& view, const DrawReach& reach) {
    if (!(S.Model && S.Model->ring_length() > 0) || !S.ChaseCamera) return false;
    const auto count = static_cast<std::uint32_t>(std::max<std::int64_t>(S.Program.BuildingCount, 0));
    StaticBatch& batch = S.Street.Buildings;
    const bool batched = !platform::OptimisationsOff() && batch.Ready() && batch.Pieces() == count;
    // The copy two ahead comes into view 3 to 6 km off, where a building is a few pixels high; the
    // strips start where the first copy does, so none stands behind it.
    const double viewer_copy = std::floor(S.ChaseCamera->Pos().z / kCityLength);
    static std::vector<char> in_view;
    for (double copy = std::max(0.0, viewer_copy - 1); copy <= viewer_copy + 1; ++copy) {
        const Vec3 shift{0, 0, static_cast<float>(copy * kCityLength)};
        in_view.assign(count, 0);
        for (std::uint32_t i = 0; i < count; ++i)
            in_view[i] = BuildingCopyInView(S, view, reach, i, shift);
        if (batched) {
            batch.Draw(in_view, shift.z);
            continue;
        }
        for (std::uint32_t i = 0; i < count; ++i)
            if (in_view[i]) DrawBuildingCopy(S, i, shift);
    }
    return true;
}

void DrawRingVehicles(SceneState& S, const DrawReach& reach) {
    MovingBatch& batch = S.Street.VehicleBatch;
    batch.Begin();
    const std::int32_t roads = S.Street.Vehicles.roads();
    if (roads <= 0 || !S.Model || !S.ChaseCamera) {
        resume_past_fault([&] { batch.Draw(); });
        return;
    }
    const Vec3 eye = S.ChaseCamera->Pos(); // world: x across, y up, z along the roads
    // Pixels per metre at one metre: the height of the picture over the height of the view at the
    // program's widest angle of a quarter turn's half, with room for the angle blends.
    const double height = std::max<std::int32_t>(S.Program.Settings.Height, 1);
    const double width = std::max<std::int32_t>(S.Program.Settings.Width, 1);
    const double focal = std::max(height, width) / (2 * std::tan(std::numbers::pi / 8));
    const double reach_metres = kRingVehicleMetres * focal;

    const double first_along = VehicleSimPosition(Vehicle{}).y; // where ring position 0 is drawn
    const Matrix4 identity = MatrixIdentity();

    for (std::int32_t r = 0; r < roads; ++r) {
        // A road's own ring: its length may be swept across the roads.
        const double ring = S.Model->ring_length(r);
        if (!(ring > 0)) continue;
        const std::int64_t k_low =
            static_cast<std::int64_t>(std::floor((eye.z - reach_metres - first_along) / ring)) - 1;
        const std::int64_t k_high =
            static_cast<std::int64_t>(std::floor((eye.z + reach_metres - first_along) / ring)) + 1;
        Vehicle lane0, lane2;
        lane0.Road = lane2.Road = r;
        lane2.Across = 2 * LaneWidthMetres;
        const double x_low = VehicleSimPosition(lane0).x - 3, x_high = VehicleSimPosition(lane2).x + 3;
        const double dx = eye.x < x_low ? x_low - eye.x : eye.x > x_high ? eye.x - x_high : 0.0;
        if (dx > reach_metres) continue;
        for (std::int64_t image = k_low; image <= k_high; ++image) {
            const auto k = static_cast<double>(image);
            const double z_low = first_along + k * ring - 4, z_high = first_along + (k + 1) * ring + 4;
            const double dz = eye.z < z_low ? z_low - eye.z : eye.z > z_high ? eye.z - z_high : 0.0;
            if (std::hypot(dx, dz) > reach_metres) continue;
            const Vec3 low{static_cast<float>(x_low), VehicleHeight - 2.0f, static_cast<float>(z_low)};
            const Vec3 high{static_cast<float>(x_high), VehicleHeight + 5.0f, static_cast<float>(z_high)};
            if (reach.ReachesNoPixel(identity, low, high)) continue;
            const auto shift = static_cast<float>(k * ring);
            for (const Vehicle& v : S.Street.Vehicles.road(r)) {
                const VehicleModel* model = S.Street.ModelOf(v);
                if (model == nullptr) continue;
                Matrix4 world = Street::World(*model, v);
                world.m43 += shift;
                Detail form = Detail::Full;
                if (model->HasBox) {
                    double picture = 0;
                    if (reach.ReachesNoPixel(world, model->Low, model->High, &picture)) continue;
                    form = RingDetailForPicture(picture);
                }
                // A model the batch cannot take is drawn by itself only where it stands.
                if (!batch.Add(*model->Model, world, form) && image == 0) DrawVehicleAlone(S.Street, v);
            }
        }
    }
    resume_past_fault([&] { batch.Draw(kRingHandOverVertices); });
}

} // namespace kl::scene
