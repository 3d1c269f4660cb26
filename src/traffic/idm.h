// Car-following by the Intelligent Driver Model (Treiber, Hennecke and Helbing, 2000) and lane changes
// by MOBIL (Kesting, Treiber and Helbing, 2007): the parameters and the two rules, in metres and
// seconds, free of any table so that they can be worked out by hand.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

namespace kl {

struct IdmParameters {
    double DesiredSpeed = 43.2;       // v0, m/s: the program's top speed of 120
    double TimeHeadway = 1.5;         // T, s
    double MinimumGap = 2.0;          // s0, m
    double MaxAcceleration = 1.0;     // a, m/s^2
    double ComfortDeceleration = 1.5; // b, m/s^2
    double Exponent = 4.0;            // delta
    double Politeness = 0.2;          // p
    double Threshold = 0.1;           // m/s^2 of advantage a lane change must bring
    double SafeDeceleration = 4.0;    // m/s^2 the new follower may be made to brake at most

    bool operator==(const IdmParameters&) const = default;
};

// No vehicle ahead.
inline constexpr double NoLeader = std::numeric_limits<double>::infinity();

// a[1 - (v/v0)^delta - (s*/s)^2] with s* = s0 + max(0, vT + v dv / (2 sqrt(ab))), dv = v - lead_speed.
// gap is bumper to bumper; a gap of NoLeader drops the interaction term, and a gap at or below zero
// counts as one centimetre, so an overlap brakes as hard as anything can.
double idm_acceleration(const IdmParameters& P, double desired_speed, double speed, double gap,
                        double lead_speed);

// The same rule with what every call shares worked out once: the step makes a few hundred calls a
// road, and the square root and the divisions by the desired speed would otherwise be most of them.
class IdmRule {
  public:
    explicit IdmRule(const IdmParameters& P);
    // As idm_acceleration, with 1 / desired speed instead of the desired speed.
    double acceleration(double inverse_desired, double speed, double gap, double lead_speed) const {
        const double ratio = speed * inverse_desired;
        const double free_road =
            1.0 - (Exponent == 4.0 ? ratio * ratio * (ratio * ratio) : std::pow(ratio, Exponent));
        if (gap == NoLeader) return A * free_road;
        const double dynamic = speed * T + speed * (speed - lead_speed) * InverseTwoSqrtAB;
        const double wanted = S0 + std::max(0.0, dynamic);
        const double gap_ratio = wanted / std::max(gap, 0.01);
        return A * (free_road - gap_ratio * gap_ratio);
    }

  private:
    double A, T, S0, Exponent, InverseTwoSqrtAB;
};

// The accelerations a lane change is judged by, before and after it: of the vehicle that would
// change, of its follower in the lane it would enter and of its follower in the lane it would leave.
// A follower that does not exist has 0 for both.
struct LaneChangeAccelerations {
    double Own = 0, OwnAfter = 0;
    double NewFollower = 0, NewFollowerAfter = 0;
    double OldFollower = 0, OldFollowerAfter = 0;
};

// Safety: the new follower need not brake harder than the safe deceleration.
inline bool mobil_safe(const IdmParameters& P, const LaneChangeAccelerations& A) {
    return A.NewFollowerAfter >= -P.SafeDeceleration;
}
// Incentive: own gain plus politeness times both followers' gain; a change needs more than the
// threshold. The same rule either side.
inline double mobil_advantage(const IdmParameters& P, const LaneChangeAccelerations& A) {
    return A.OwnAfter - A.Own +
           P.Politeness * (A.NewFollowerAfter - A.NewFollower + A.OldFollowerAfter - A.OldFollower);
}

// The lengths in metres of the vehicle models the street is built with: lane slot m's cars, and its
// slow vehicle (the last one). The defaults are those the data generator makes; the scene measures
// the models it loaded instead.
struct VehicleLengths {
    double Car[3] = {3.85, 3.60, 4.25};
    double Slow[3] = {5.40, 5.00, 5.05};
    double of(int m, bool slow) const;
};

} // namespace kl
