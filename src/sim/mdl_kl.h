// The program's module state: the settings of the run and the round state the frame loop, the camera
// placement and the round clock share.
#pragma once

#include <cstdint>

#include "engine/settings_record.h"

namespace kl::mdlKl {

inline SettingsRecord Settings;

// Round state, reset at every round start.
inline std::int32_t RoundCount = 0;
inline float RoundClock = 0.0f;
inline float TimeScale = 1.0f;
inline bool ControlEnabled = false;
inline bool RoundEndAllowed = false;

} // namespace kl::mdlKl
