// Which vehicles of the open street a frame draws, and in what form. In a wide street most vehicles
// inside the view cone are off the sides of the picture or so far ahead that they fall between the
// pixel centres; telling them apart, 15,000 at 250 roads, is much of the frame's own work. Two
// threads share it, road by road: the side thread starts as soon as the traffic has stepped, while
// the drawing thread is still on the roads and buildings, and the drawing thread joins in when it
// is done there.
#pragma once

#include "engine/draw_reach.h"
#include "engine/math.h"
#include "resources/moving_batch.h"
#include "scene/street.h"
#include "scene/view_test.h"
#include "traffic/vehicles.h"

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

namespace kl::scene {

// A vehicle of the street's list that may put a pixel on the picture, where and in what form.
struct VehiclePick {
    const Vehicle* vehicle = nullptr;
    Matrix4 world;
    Detail form = Detail::Full;
};

// Whether a vehicle placed by world, its model's box low .. high, may put a pixel on the picture;
// if so, the form its picture size calls for goes into form.
bool ReachesPicture(const DrawReach& reach, const Matrix4& world, const Vec3& low, const Vec3& high,
                    Detail& form);

class VehiclePicks {
  public:
    // A new frame's picking, not yet open: street, view and reach must stay as they are until every
    // Pick has returned.
    void Start(const Street& street, const ViewTest& view, const DrawReach& reach);
    // The traffic has stepped: Pick may begin. Call once a frame, whatever became of the step.
    void Open();
    // Waits until open, then picks roads no thread has taken until none is left. Any number of
    // threads may call it at once; it reads the vehicles and the view, never the device.
    void Pick();
    // What was picked, road after road in the street's order, once every Pick has returned.
    std::span<const std::vector<VehiclePick>> ByRoad() const {
        return {by_road_.data(), static_cast<std::size_t>(roads_)};
    }

  private:
    const Street* street_ = nullptr;
    const ViewTest* view_ = nullptr;
    const DrawReach* reach_ = nullptr;
    std::int32_t roads_ = 0;
    std::atomic<bool> open_{false};
    std::atomic<std::int32_t> next_road_{0};
    std::vector<std::vector<VehiclePick>> by_road_;
};

} // namespace kl::scene
