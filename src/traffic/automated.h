// Automated vehicles that damp stop-and-go waves: the FollowerStopper of Stern et al., "Dissipation
// of stop-and-go waves via control of autonomous vehicles: Field experiments" (Transportation
// Research C 89, 2018). The controller on its own, in metres and seconds; the model (idm_model.cpp)
// feeds it each vehicle's gap, its leader's speed and the mean speed of the flow.
#pragma once

#include "traffic/idm.h"

namespace kl {

// The command speed: U when the gap ahead is wide, the leader's speed (never above U) when it is
// narrower, nothing when it is too narrow, and straight lines between. The three gaps grow with the
// square of the closing speed, so that braking at 1.5, 1.0 and 0.5 m/s^2 from each of them stops the
// closing before the gap below is reached:
//   dx_k = dx0_k + (min(lead_speed - speed, 0))^2 / (2 d_k),  k = 1, 2, 3.
// The paper's dx0 of 4.5, 5.25 and 6 m were made for its ring at about 7 m/s; at higher speed each
// is at least what the vehicle drives in T/2, 3T/4 and T (the humans' time headway), so that on the
// motorway the vehicle keeps a gap a driver would.
// gap is bumper to bumper (NoLeader: none ahead); mean_speed is U; time_headway is T.
double follower_stopper_command(double mean_speed, double speed, double gap, double lead_speed,
                                double time_headway);

// The seconds in which the vehicle closes the difference between its speed and the command: its
// acceleration is (command - speed) / max(TrackingTime, the step).
inline constexpr double AutomatedTrackingTime = 0.5;

// The acceleration of an automated vehicle: towards the command, kept within the model's
// comfortable limits (up to a, down to -b), and never gentler than the human drivers' rule
// (`human`, the IDM acceleration it would have as a driver) where that brakes harder than b, so that
// a leader braking hard or cutting in close is answered as a driver would. Taking no more than the
// step to reach the command, it never drives faster than U, nor U faster than the desired speed.
double automated_acceleration(const IdmParameters& P, double mean_speed, double speed, double gap,
                              double lead_speed, double human, double dt);

// U is the running mean of the speeds of the flow the vehicle drives in: on the ring, its whole lane
// (every vehicle of it once), elsewhere its lane from itself up to MeanSpeedReach metres ahead, or
// the desired speed where that stretch holds nobody else. It is averaged over time with the time
// constant MeanSpeedWindow, about one turn of a stop-and-go wave round the default ring.
inline constexpr double MeanSpeedReach = 500.0;
inline constexpr double MeanSpeedWindow = 30.0;
// The running mean after dt seconds more of a sample; the sample itself when there was none before
// (NaN).
double running_mean(double previous, double sample, double dt);

// Whether the vehicle counted `entered` (from 0) of a lane is automated when that many a lane are
// asked for: `per_lane` in every RingVehiclesPerLane, evenly spread, the first one automated.
bool automated_in_turn(long long entered, int per_lane);

} // namespace kl
