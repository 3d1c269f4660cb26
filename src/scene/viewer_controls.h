// What a viewer changes while watching: pause, the time scale and the camera mode, their keys
// (each acts once when pressed, however long it is held) and the second status line they show.
#pragma once

#include "scene/scene_state.h"

#include <cstdint>
#include <string>

namespace kl::scene {

inline constexpr std::int32_t kMinScaleStep = -4, kMaxScaleStep = 4;

// The camera mode's name as the second line shows it; modes outside 0 to 7 are named by number.
std::string CameraModeName(std::int32_t mode);

// The time scale as the second line writes it ("time x4", "time x1/8"); empty at 1.
std::string TimeScaleText(std::int32_t scale_step);

// P, [, ], C, V, J and G from S.KeyBuffer; then S.FrameTime becomes the frame time the traffic, the round
// clock and the user's vehicle see (0 while paused). Nothing changes while no key is pressed.
void ApplyViewerControls(SceneState& S);

// G: the user's vehicle 300 m before the bottleneck of the road it is on (the nearest), in its middle
// lane, driving and looking downstream, and no vehicle followed any more. False, changing nothing, on
// a street without a bottleneck.
bool GoToBottleneck(SceneState& S);
inline constexpr double kBottleneckViewAhead = 300.0;

// The time camera blends run on: the frame's own while paused, so the view still settles.
float CameraFrameTime(const SceneState& S);

// With a parameter swept across the roads, its key and the value of the road under the viewer
// ("time_headway_s 1.2 (road 3)"); empty otherwise.
std::string SweptValueText(const SceneState& S);

// The second status line: paused or the time scale, the camera mode for a while after a change, and
// the followed vehicle; empty when there is nothing to say.
std::string ViewerStatusLine(const SceneState& S);

// Draws the second line below the first when it has something to say.
void DrawViewerLine(SceneState& S);

} // namespace kl::scene
