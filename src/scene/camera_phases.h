// The camera's phases: chase the user's vehicle (3); once it is gone, glide to an overview (4, 5),
// then follow another living vehicle (6), starting over when that one dies (7).
#pragma once

#include "scene/scene_state.h"

namespace kl::scene {

// At most one phase change, then the action of the (possibly new) phase.
void RunCameraPhase(SceneState& S);

} // namespace kl::scene
