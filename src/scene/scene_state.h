// The state of one RunScene call: road count, overlay texts, traffic tables, camera and the frame
// loop's clocks, latches and targets. The frame loop, the keyboard commands and the status line all
// work on it.
#pragma once

#include "engine/records.h"
#include "overlay/cls2d_text.h"
#include "scene/follow_vehicle.h"
#include "scene/parameter_panel.h"
#include "scene/scene_observer.h"
#include "scene/street.h"
#include "scene/vehicle_picks.h"
#include "scene/viewer_controls.h"
#include "sim/camera.h"
#include "sim/round_clock.h"
#include "traffic/model.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace kl::scene {

struct SceneState {
    std::int16_t RoadCount = 0;
    std::int32_t ObjIndex = 0;
    bool FirstRound = true;
    mdlKl::RoundState Round;
    std::unique_ptr<cls2dText> HudText;
    std::unique_ptr<cls2dText> PromptText;
    // The traffic: the program's own unless one is chosen. It hands its vehicles to the street.
    std::unique_ptr<TrafficModel> Model;
    scene::Street Street;
    // Which of the open street's vehicles this frame draws.
    VehiclePicks Picks;

    std::unique_ptr<Camera> ChaseCamera;
    std::int32_t CameraPhase = 3;
    float DeadClock = 0.0f;
    float FollowClock = 0.0f;
    float FrameTime = 0.0f;
    float FpsTime = 0.0f;
    std::int32_t FpsFrames = 0;
    std::int32_t FramesSinceStep = 0;
    std::string HudLine;
    std::array<std::uint8_t, 256> KeyBuffer{};
    bool QuitPrompt = false;
    bool EscLatch = false;
    bool ReturnLatch = false;
    bool ModelKeyDown = false;
    Vec3 UserPos;
    Vec3 ViewDir;
    Vec3 CamPosTarget;
    Vec3 CamDestTarget;
    Vec3 FollowMove;
    std::int32_t FollowedPlayer = -1;
    bool PlayersApart = true;
    // Pause, time scale and camera-mode keys, and the traffic vehicle the camera follows.
    ViewerControls Viewer;
    FollowedVehicle Follow;
    // F3: the car-following model's parameters.
    ParameterPanel Parameters;
    // Watches the scene without changing it; none in a plain run of the loop.
    SceneObserver* Observer = nullptr;
};

} // namespace kl::scene
