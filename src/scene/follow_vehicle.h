// Following one vehicle of the traffic with the chase camera: which vehicle (V picks the nearest
// ahead in view, then the next farther one), where the camera goes and what the second line says.
#pragma once

#include "scene/scene_state.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kl::scene {

inline constexpr float kFollowBlendSeconds = 0.5f;

// Whether a vehicle is drawn somewhere: in a lane (the on-ramp's too) and at a finite place.
bool IsDrawn(const Vehicle& v);
// Vehicle `id` of road when the street has it and it is drawn; none otherwise.
const Vehicle* DrawnVehicle(const Street& street, std::int32_t road, std::int32_t id);

// Where the copy of a drawn vehicle nearest to `along` (simulation y) stands on a ring of that
// length, in simulation form (x across, y along, z up); the vehicle itself on the open street
// (ring 0); nothing for a vehicle that is not drawn.
std::optional<Vec3> RingImagePosition(const Vehicle& v, double ring, double along);

// The nearest vehicle in the user's view cone that lies farther than the one followed now (the
// nearest of all when there is none farther, or nothing followed); nothing in view changes nothing.
void FollowNextVehicle(SceneState& S);

// While a vehicle is followed: the chase camera placed behind it by the camera mode, moved there
// over kFollowBlendSeconds after a new choice. A vehicle that has left the street (past a road's end)
// ends the follow, and the camera goes back to the user's vehicle.
void PlaceFollowCamera(SceneState& S);

// "following road R, lane L: S km/h at D m" ("on-ramp" for its lane); empty when nothing is followed.
std::string FollowedVehicleText(const SceneState& S);

} // namespace kl::scene
