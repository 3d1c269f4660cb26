// The two rules of the second traffic model; the model itself is in idm_model.cpp.
#include "traffic/idm.h"

#include <algorithm>
#include <cmath>

namespace kl {

namespace {

// (v/v0)^delta; the default exponent of 4 is two squarings, which the hot step makes 60 times a road.
double speed_ratio_power(double ratio, double exponent) {
    if (exponent == 4.0) {
        const double sq = ratio * ratio;
        return sq * sq;
    }
    return std::pow(ratio, exponent);
}

} // namespace

double idm_acceleration(const IdmParameters& P, double desired_speed, double speed, double gap,
                        double lead_speed) {
    const double free_road = 1.0 - speed_ratio_power(speed / desired_speed, P.Exponent);
    if (gap == NoLeader) return P.MaxAcceleration * free_road;
    const double dynamic =
        speed * P.TimeHeadway +
        speed * (speed - lead_speed) / (2.0 * std::sqrt(P.MaxAcceleration * P.ComfortDeceleration));
    const double wanted = P.MinimumGap + std::max(0.0, dynamic);
    const double ratio = wanted / std::max(gap, 0.01);
    return P.MaxAcceleration * (free_road - ratio * ratio);
}

bool mobil_safe(const IdmParameters& P, const LaneChangeAccelerations& A) {
    return A.NewFollowerAfter >= -P.SafeDeceleration;
}

double mobil_advantage(const IdmParameters& P, const LaneChangeAccelerations& A) {
    return A.OwnAfter - A.Own +
           P.Politeness * (A.NewFollowerAfter - A.NewFollower + A.OldFollowerAfter - A.OldFollower);
}

double vehicle_length(int m, bool slow) {
    static constexpr double Cars[3] = {3.85, 3.60, 4.25};
    static constexpr double Slow[3] = {5.40, 5.00, 5.05};
    const int k = std::clamp(m, 0, 2);
    return slow ? Slow[k] : Cars[k];
}

} // namespace kl
