// Where the vehicles of a road fed by an inflow come from: arrivals at random with a mean rate, each
// road with a generator of its own, and the room and speed a vehicle enters its lane with.
#pragma once

#include "traffic/idm.h"

#include <cstdint>

namespace kl {

// Seconds to the next arrival of a stream of `per_hour` vehicles an hour, from a uniform number in
// [0, 1): arrivals independent of each other at a mean rate (a Poisson stream), so the headways are
// exponential. Infinity for a rate of zero or less.
double exponential_headway(double per_hour, double uniform);

// The seed of road r's own generator, from the one number the set-up draws for all roads: mixed so
// that no two roads' sequences overlap in any run length that matters, whatever the road count.
std::uint64_t road_seed(double uniform, int road);

// The speed (m/s) a vehicle enters a lane at, with `gap` metres bumper to bumper to the vehicle ahead,
// which drives at lead_speed (gap NoLeader: nobody ahead); negative while there is no room yet.
// There is room once the gap is the desired gap at the leader's speed, s0 + T v_lead, so that the
// lane's start takes vehicles at about its capacity. It then enters at the speed at which that gap
// is its equilibrium, but no faster than it could brake comfortably (b) to the leader's speed within
// the gap: a vehicle entering behind a standing queue is not flung into it. At most the desired speed.
double entry_speed(const IdmParameters& P, double gap, double lead_speed);

} // namespace kl
