// The keyboard commands of one frame: steering and speed steps at most about 50 per second, the gear
// counter, stop, restart, the quit prompt and the end of a round.
#pragma once

#include "scene/scene_state.h"

namespace kl::scene {

enum class FrameExit { None, Restart, RoundEnd, Quit, KeyboardFailed };

// Works on S.KeyBuffer and Players(0); returns how the frame loop must go on.
FrameExit ApplyKeyboardCommands(SceneState& S);

} // namespace kl::scene
