// The scene procedure: builds the street, its traffic and the overlay, then runs rounds of frames
// until the user quits, ends the last round or the keyboard can no longer be read.
#pragma once

#include "scene/keyboard_commands.h"
#include "scene/scene_state.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kl::scene {

// What a run asks of the scene beyond the plain program; everything off by default.
struct SceneHooks {
    // After this many frames the scene is left as if the user had quit (negative: never).
    std::int64_t MaxFrames = -1;
    // Called in the last frame (by MaxFrames) after the frame was drawn and before it is shown.
    std::function<void()> BeforeLastPresent;
    // Called in every frame after the frame was drawn and before it is shown (before
    // BeforeLastPresent in the last).
    std::function<void()> BeforePresent;
    // Called at the end of every frame.
    std::function<void(const SceneState&)> AfterFrame;
    // Watches the traffic from inside the frame loop (statistics, panel, log, dump).
    SceneObserver* Observer = nullptr;
};

// nbr_sim is the road-count text of the settings dialog.
void RunScene(const std::string& nbr_sim, const SceneHooks& hooks = {});

// The parts of RunScene, for tests.
// Steps 1 to 11 of the set-up; false when a user vehicle could not be initialised.
bool SetUpScene(SceneState& S, const std::string& nbr_sim);
// Fresh traffic tables, and the vehicles placed from them.
void SetUpTrafficState(SceneState& S);
// The round start: vehicles crashed, deleted (not in the first round) and reset, the placement
// check and the reset of the loop state.
void StartRound(SceneState& S);
// One frame; tells how the frame loop must go on. before_present, when set, runs after the frame was
// drawn and before it is shown.
FrameExit RunFrame(SceneState& S, const std::function<void()>& before_present = {});
// Releases the players, the scene objects and the texture table.
void ReleaseScene();

// The view-cone test of object k against the user's position U and view direction V; objects
// exactly at the user's position are drawn.
bool InViewCone(const Vec3& P, const Vec3& U, const Vec3& V, double threshold);
// The cones the frame loop draws buildings and vehicles in (vehicles are smaller: the narrower one).
inline constexpr double kBuildingCone = 0.68, kVehicleCone = 0.58;
// The frame loop's view test of what stands at P (simulation form): everything in a frame with a
// step, otherwise what lies inside the cone around the user's view direction.
bool InViewOfUser(const SceneState& S, const Vec3& P, double threshold, const Vec3& U);

} // namespace kl::scene
