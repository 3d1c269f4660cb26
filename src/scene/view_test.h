// The frame loop's view-cone test: which of the buildings and vehicles a frame draws, by the angle
// between the user's view direction and the direction to them; distance plays no part.
#pragma once

#include "engine/records.h"

namespace kl::scene {

// Whether P lies strictly inside the cone of cos threshold around direction V from U; what stands
// exactly at U is drawn.
bool InViewCone(const Vec3& P, const Vec3& U, const Vec3& V, double threshold);

// The cones the frame loop draws buildings and vehicles in (vehicles are smaller: the narrower one).
inline constexpr double kBuildingCone = 0.68, kVehicleCone = 0.58;

// One frame's test: everything in a frame with a step (or when the user's view could not be read),
// otherwise what lies inside the cone around the user's view direction V from the user's position U.
struct ViewTest {
    bool Everything = true;
    Vec3 U, V;

    bool operator()(const Vec3& P, double threshold) const {
        return Everything || InViewCone(P, U, V, threshold);
    }
};

} // namespace kl::scene
