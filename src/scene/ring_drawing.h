// The ring street drawn as the endless periodic street it stands for: a vehicle at ring position s
// is drawn at every s + kL in view, so the street is full of traffic as far as the eye goes wherever
// the viewer is, and nothing pops in or out inside the picture.
#pragma once

#include "engine/draw_reach.h"

namespace kl::scene {

struct SceneState;

// Beyond this many of its own lengths' worth of pixels a vehicle is too small to matter: a copy
// whose whole stretch of road lies farther than the distance at which a 5 m vehicle is a pixel long
// is not drawn.
inline constexpr double kRingVehicleMetres = 5.0;

// Takes every image in view of every vehicle into S.Vehicles and draws them, as the open street's
// vehicles are; those whose picture is at most box_pixels across as boxes. ring is the length a lane.
void DrawRingVehicles(SceneState& S, const DrawReach& reach, double ring, double box_pixels);

} // namespace kl::scene
