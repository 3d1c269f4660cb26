// The wave-damping controller of the automated vehicles (see automated.h).
#include "traffic/automated.h"

#include "traffic/ring.h"

#include <algorithm>
#include <cmath>

namespace kl {

namespace {

// The paper's gaps (m) and decelerations (m/s^2) of its three regions, and the shares of the time
// headway that stand in for the gaps at speed.
constexpr double Gap0[3] = {4.5, 5.25, 6.0};
constexpr double Decel[3] = {1.5, 1.0, 0.5};
constexpr double HeadwayShare[3] = {0.5, 0.75, 1.0};

} // namespace

double follower_stopper_command(double mean_speed, double speed, double gap, double lead_speed,
                                double time_headway) {
    const double U = std::max(mean_speed, 0.0);
    if (gap == NoLeader) return U;
    const double closing = std::min(lead_speed - speed, 0.0);
    double dx[3];
    for (int k = 0; k < 3; ++k)
        dx[k] = std::max(Gap0[k], HeadwayShare[k] * time_headway * speed) + closing * closing / (2 * Decel[k]);
    const double v = std::clamp(lead_speed, 0.0, U);
    if (!(gap > dx[0])) return 0.0;
    if (gap <= dx[1]) return v * (gap - dx[0]) / (dx[1] - dx[0]);
    if (gap <= dx[2]) return v + (U - v) * (gap - dx[1]) / (dx[2] - dx[1]);
    return U;
}

double automated_acceleration(const IdmParameters& P, double mean_speed, double speed, double gap,
                              double lead_speed, double human, double dt) {
    const double U = std::clamp(std::isfinite(mean_speed) ? mean_speed : speed, 0.0, P.DesiredSpeed);
    const double command = follower_stopper_command(U, speed, gap, lead_speed, P.TimeHeadway);
    double acc = (command - speed) / std::max(AutomatedTrackingTime, dt);
    acc = std::clamp(acc, -P.ComfortDeceleration, P.MaxAcceleration);
    if (human < -P.ComfortDeceleration) acc = std::min(acc, human);
    return acc;
}

double running_mean(double previous, double sample, double dt) {
    if (!std::isfinite(previous)) return sample;
    if (!(dt > 0)) return previous;
    return previous + (sample - previous) * -std::expm1(-dt / MeanSpeedWindow);
}

bool automated_in_turn(long long entered, int per_lane) {
    if (per_lane <= 0 || entered < 0) return false;
    return (entered * per_lane) % RingVehiclesPerLane < per_lane;
}

} // namespace kl
