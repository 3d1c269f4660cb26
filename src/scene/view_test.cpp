#include "scene/view_test.h"

#include <cmath>

namespace kl::scene {

bool InViewCone(const Vec3& P, const Vec3& U, const Vec3& V, double threshold) {
    const double dx = static_cast<double>(P.x) - U.x, dy = static_cast<double>(P.y) - U.y,
                 dz = static_cast<double>(P.z) - U.z;
    const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
    // An object exactly at the viewer has no direction; it is drawn rather than lost to a NaN.
    if (d == 0.0) return true;
    const double c = (dx * V.x + dy * V.y + dz * V.z) / d;
    return c > threshold;
}

} // namespace kl::scene
