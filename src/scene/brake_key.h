// J: one vehicle brakes hard for a moment, the disturbance that grows into a stop-and-go wave in
// unstable flow and dies out in stable flow.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kl::scene {

struct SceneState;

inline constexpr double kBrakeDeceleration = 4.0; // m/s^2
inline constexpr double kBrakeSeconds = 2.0;      // of simulated time

struct BrakeTarget {
    std::int32_t Road = 0, Id = 0;
};

// The followed vehicle; else the nearest vehicle ahead of the viewer (in the direction it looks
// along the road) on the road under it, round the ring on a ring; nothing when there is none.
std::optional<BrakeTarget> ChooseBrakeTarget(const SceneState& S);

// Brakes the target through the model and says what happened, for the second status line.
std::string BrakeVehicle(SceneState& S);

// A: the followed vehicle becomes automated, or driven by a human again; says what happened, for the
// second status line. Only a followed vehicle: the one to watch the wave die behind.
std::string SwitchAutomated(SceneState& S);

} // namespace kl::scene
