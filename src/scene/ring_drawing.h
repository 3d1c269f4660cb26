// The ring street drawn as the endless periodic street it stands for: a vehicle at ring position s
// is drawn at every s + kL in view, so the street is full of traffic as far as the eye goes wherever
// the viewer is, and nothing pops in or out inside the picture.
#pragma once

#include "engine/draw_reach.h"
#include "scene/view_test.h"

#include <cstddef>

namespace kl::scene {

struct SceneState;

// A copy whose whole stretch of road lies farther than where a vehicle's width (about 2 m) is one
// pixel is not drawn: its vehicles would be dots of a pixel or less, and the ring has as many copies
// as the eye reaches, which would otherwise cost far more than the open street's 60 vehicles a road.
inline constexpr double kRingVehicleMetres = 2.0;

// The ring sends the device many times the open street's vehicle vertices, and its second core has
// only the step to do (on the open street it also picks the vehicles, and a hand-over there costs
// more than it saves). Handed over to the rasteriser in parts of this many vertices, the first parts
// are rasterised while the rest is still sent. Larger parts leave more to rasterise at the end;
// smaller ones gain nothing more, and each hand-over has a cost of its own (DEVELOPING.md, "Ring
// hand-over", has the figures).
inline constexpr std::size_t kRingHandOverVertices = 50'000;

// The ring's city repeats up the street with the city's length, so that the viewer rides through a
// city wherever it goes: the copy the viewer is in and its neighbours are drawn. False on any other
// street, which draws its buildings as it always has.
bool DrawRingCity(SceneState& S, const ViewTest& view, const DrawReach& reach);

// Takes every image in view of every vehicle into the street's vehicle batch and draws them, as the open
// street's vehicles are, each in the form its picture size calls for, each road round its own ring.
void DrawRingVehicles(SceneState& S, const DrawReach& reach);

} // namespace kl::scene
