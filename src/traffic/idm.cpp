// The two rules of the second traffic model; the model itself is in idm_model.cpp.
#include "traffic/idm.h"

#include <algorithm>
#include <cmath>

namespace kl {

double idm_acceleration(const IdmParameters& P, double desired_speed, double speed, double gap,
                        double lead_speed) {
    return IdmRule(P).acceleration(1.0 / desired_speed, speed, gap, lead_speed);
}

IdmRule::IdmRule(const IdmParameters& P)
    : A(P.MaxAcceleration), T(P.TimeHeadway), S0(P.MinimumGap), Exponent(P.Exponent),
      InverseTwoSqrtAB(1.0 / (2.0 * std::sqrt(P.MaxAcceleration * P.ComfortDeceleration))) {}

double VehicleLengths::of(int m, bool slow) const {
    const int k = std::clamp(m, 0, 2);
    return slow ? Slow[k] : Car[k];
}

} // namespace kl
