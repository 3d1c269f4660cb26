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

double vehicle_length(int m, bool slow) {
    static constexpr double Cars[3] = {3.85, 3.60, 4.25};
    static constexpr double Slow[3] = {5.40, 5.00, 5.05};
    const int k = std::clamp(m, 0, 2);
    return slow ? Slow[k] : Cars[k];
}

} // namespace kl
