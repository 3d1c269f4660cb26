// The ring street: every lane of every road closes on itself after a ring length, so that the traffic
// never leaves and a jam can form out of nothing. Here are the scenario's names, its defaults, the
// car-following model's equilibrium and the linear stability of uniform flow on a ring, which the
// defaults were chosen by.
#pragma once

#include "traffic/idm.h"
#include "traffic/scenario.h"

namespace kl {

// Vehicles per lane at the start: each lane slot's 20.
inline constexpr int RingVehiclesPerLane = 20;

// The parameters a scenario starts with. The ring's make its uniform flow linearly unstable at its
// default length (see ring_growth_rate), so that a wave grows from nothing: a gentle acceleration a,
// a short time headway T and a firm comfortable braking b, which weakens the anticipation of the
// braking term. The open street keeps the model's own defaults.
IdmParameters scenario_default_parameters(TrafficScenario scenario);

// The speed at which the acceleration is zero at a bumper-to-bumper gap (m), for drivers who all
// want the desired speed: the root of 1 - (v/v0)^delta - ((s0 + vT)/gap)^2; 0 for a gap at or below s0.
double equilibrium_speed(const IdmParameters& P, double gap);

// Flow in vehicles per second per lane at a density in vehicles per metre per lane, for vehicles
// of the given length: density times the equilibrium speed of the gap 1/density - length.
double equilibrium_flow(const IdmParameters& P, double density, double vehicle_length);

// The capacity of a lane in vehicles per second: the largest equilibrium_flow over all densities, for
// vehicles of the given length.
double lane_capacity(const IdmParameters& P, double vehicle_length);

// The largest real part (1/s) of the eigenvalues of the ring of `vehicles` identical drivers and
// vehicles of `vehicle_length` evenly spread over ring_length metres at the equilibrium speed of
// their gap, linearised: positive when a small disturbance grows (the flow is string-unstable on
// that ring), negative when every disturbance dies out. The neutral mode (all moving on together)
// is left out.
double ring_growth_rate(const IdmParameters& P, double ring_length, int vehicles, double vehicle_length);

} // namespace kl
