// What may watch the scene from inside the frame loop: told when the traffic is set up, when a
// frame-rate window closes, when a frame's overlay is drawn and when the scene is left. An observer
// reads the scene's state and draws on top of the overlay; it never changes the state.
#pragma once

#include <cstdint>

namespace kl::scene {

struct SceneState;

class SceneObserver {
  public:
    virtual ~SceneObserver() = default;
    // The traffic tables were filled afresh: at set-up and at every restart.
    virtual void traffic_set_up(const SceneState& S) = 0;
    // The frame-rate window closed after window_seconds, with the status line; the traffic is as the
    // previous frame left it.
    virtual void window_closed(const SceneState& S, float window_seconds) = 0;
    // The status line (and the quit prompt) of this frame were drawn; the frame is not ended yet.
    virtual void overlay_drawn(const SceneState& S) = 0;
    // RunScene returns after `frames` frames, whichever way it ends.
    virtual void scene_left(const SceneState& S, std::int64_t frames) = 0;
};

} // namespace kl::scene
