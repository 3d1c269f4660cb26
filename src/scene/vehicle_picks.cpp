#include "scene/vehicle_picks.h"

#include "resources/cls3d_object.h"

#include <algorithm>
#include <limits>

namespace kl::scene {

namespace {

void pick_road(const Street& street, const ViewTest& view, const DrawReach& reach, std::int32_t r,
               std::vector<VehiclePick>& picks) {
    picks.clear();
    for (const Vehicle& v : street.Vehicles.road(r)) {
        const VehicleModel* model = street.ModelOf(v);
        if (model == nullptr) continue;
        const Vec3 at = VehicleSimPosition(v);
        if (!view(at, kVehicleCone)) continue;
        const Matrix4 world = Street::World(*model, at);
        Detail form = Detail::Full;
        // A model whose box cannot be read is drawn whole.
        if (!model->HasBox || ReachesPicture(reach, world, model->Low, model->High, form))
            picks.push_back({&v, world, form});
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

void VehiclePicks::Start(const Street& street, const ViewTest& view, const DrawReach& reach) {
    street_ = &street;
    view_ = &view;
    reach_ = &reach;
    roads_ = street.Vehicles.roads();
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
        pick_road(*street_, *view_, *reach_, r, by_road_[static_cast<std::size_t>(r)]);
}

} // namespace kl::scene
