// The program's module state: the settings of the run, the engine and input objects, the user's
// vehicles, the placed scene objects, and the round state the frame loop, the camera placement and
// the round clock share.
#pragma once

#include "engine/cls3d_engine.h"
#include "engine/settings_record.h"
#include "input/cls_input.h"
#include "sim/kl_object.h"
#include "sim/player.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace kl::mdlKl {

inline SettingsRecord Settings;
inline std::unique_ptr<cls3dEngine> Engine;
inline std::unique_ptr<clsInput> Input;
inline std::int16_t Gear = 0;

// Players 0 .. Settings.LastPlayer; Objects 0 .. 30000, empty slots hold no object.
inline std::vector<std::unique_ptr<Player>> Players;
inline std::vector<std::unique_ptr<KlObject>> Objects;
constexpr std::int32_t kLastObject = 30000;
inline std::int16_t BuildingCount = 0;

// Round state, reset at every round start.
inline std::int32_t RoundCount = 0;
inline float RoundClock = 0.0f;
inline float TimeScale = 1.0f;
inline bool ControlEnabled = false;
inline bool RoundEndAllowed = false;
// The previous frame's time, by which the traffic moves; kept across rounds.
inline float LastFrameTime = 0.0f;

// Element access that raises kl::Fault for an index outside the array or an empty slot.
Player& PlayerAt(std::int64_t i);
KlObject& ObjectAt(std::int64_t k);

} // namespace kl::mdlKl
