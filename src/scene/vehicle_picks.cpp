#include "scene/vehicle_picks.h"

#include "resources/cls3d_object.h"
#include "scene/guarded.h"
#include "scene/run_scene.h"
#include "scene/scene_state.h"
#include "sim/mdl_kl.h"
#include "traffic/traffic.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace kl::scene {

using namespace mdlKl;

namespace {

void pick_road(const SceneState& S, const Vec3& U, const DrawReach& reach, std::int32_t r,
               std::vector<VehiclePick>& picks) {
    picks.clear();
    const std::int64_t first = vehicle_object_index(Program().BuildingCount, S.RoadCount, 0, 0, r);
    for (std::int64_t k = first; k < first + 60; ++k) {
        if (!test_resuming_past_fault([&] { return InViewOfUser(S, k, kVehicleCone, U); })) continue;
        resume_past_fault([&] {
            const cls3dObject* model = std::as_const(ObjectAt(k)).Model();
            Vec3 low, high;
            if (model == nullptr || !model->KnownMeshBounds(low, high)) {
                picks.push_back({k, {}, Detail::Full, false});
                return;
            }
            const Matrix4 world = model->WorldMatrix();
            if (Detail form; ReachesPicture(reach, world, low, high, form))
                picks.push_back({k, world, form, true});
        });
    }
}

} // namespace

bool ReachesPicture(const DrawReach& reach, const Matrix4& world, const Vec3& low, const Vec3& high,
                    Detail& form) {
    double picture = std::numeric_limits<double>::infinity();
    if (reach.ReachesNoPixel(world, low, high, &picture)) return false;
    form = DetailForPicture(picture);
    return true;
}

void VehiclePicks::Start(const SceneState& S, const Vec3& U, const DrawReach& reach) {
    scene_ = &S;
    user_ = U;
    reach_ = &reach;
    roads_ = std::max<std::int32_t>(S.RoadCount, 0);
    if (by_road_.size() < static_cast<std::size_t>(roads_)) by_road_.resize(static_cast<std::size_t>(roads_));
    next_road_.store(0);
    open_.store(false);
}

void VehiclePicks::Open() {
    open_.store(true);
    open_.notify_all();
}

void VehiclePicks::Pick() {
    open_.wait(false);
    for (std::int32_t r = next_road_.fetch_add(1); r < roads_; r = next_road_.fetch_add(1))
        pick_road(*scene_, user_, *reach_, r, by_road_[static_cast<std::size_t>(r)]);
}

} // namespace kl::scene
