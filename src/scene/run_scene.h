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

// What a run of the street is asked for, read and checked once where the user gave it (the settings
// dialog, the command line).
struct RunConfiguration {
    // The road strips, as the dialog's field gave them; the traffic runs on those its tables hold.
    std::int16_t RoadCount = 0;
};

// Builds the street of program's objects and runs it until the user quits or the rounds end.
void RunScene(mdlKl::ProgramState& program, const RunConfiguration& run, const SceneHooks& hooks = {});

// The parts of RunScene, for tests.
// The set-up: overlay texts, players, texture table, objects, batches and traffic; false when a user
// vehicle could not be initialised.
bool SetUpScene(SceneState& S, const RunConfiguration& run);
// Fresh traffic, and the vehicles' objects placed where it puts them.
void SetUpTrafficState(SceneState& S);
// Fresh traffic alone: the model chosen, set up on the street chosen, its vehicles in the street's
// list.
void SetUpTrafficModel(SceneState& S);
// The round start: vehicles crashed, deleted (not in the first round) and reset, the placement
// check and the reset of the loop state.
void StartRound(SceneState& S);
// One frame; tells how the frame loop must go on. before_present, when set, runs after the frame was
// drawn and before it is shown.
FrameExit RunFrame(SceneState& S, const std::function<void()>& before_present = {});
// Experiments: the traffic alone, without a window, a device, a model or a texture. It runs
// hooks.MaxFrames frames of step_seconds on the engine clock's arithmetic, and its observer and
// AfterFrame hook see every frame as in RunScene, so that the traffic and everything written of it
// are those of a run with a window, frame for frame. The vehicles' lengths come from the data
// folder's model files, read for their extent only.
void RunTrafficAlone(mdlKl::ProgramState& program, const RunConfiguration& run, const SceneHooks& hooks,
                     double step_seconds);

// Releases the players, the scene objects and the texture table.
void ReleaseScene(mdlKl::ProgramState& program);

} // namespace kl::scene
