// The inflow's arrivals and entry; see inflow.h.
#include "traffic/inflow.h"

#include "traffic/ring.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kl {

double exponential_headway(double per_hour, double uniform) {
    if (!(per_hour > 0)) return std::numeric_limits<double>::infinity();
    // 1 - u lies in (0, 1], so the logarithm is finite.
    return -std::log1p(-uniform) * 3600.0 / per_hour;
}

std::uint64_t road_seed(double uniform, int road) {
    // SplitMix64's own finaliser over the seed and the road: a neighbouring road's state lies
    // nowhere near this one's along the counter the generator steps by.
    std::uint64_t z = static_cast<std::uint64_t>(uniform * 9007199254740992.0) ^
                      (0xD1B54A32D192ED03ull * static_cast<std::uint64_t>(road + 1));
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double entry_speed(const IdmParameters& P, double gap, double lead_speed) {
    if (gap == NoLeader) return P.DesiredSpeed;
    const double lead = std::clamp(lead_speed, 0.0, P.DesiredSpeed);
    if (!(gap >= P.MinimumGap + P.TimeHeadway * lead)) return -1.0;
    const double braking = lead + std::sqrt(2 * P.ComfortDeceleration * (gap - P.MinimumGap));
    return std::min({equilibrium_speed(P, gap), braking, P.DesiredSpeed});
}

} // namespace kl
