// The state of one RunScene call: the program state it is handed, road count, overlay texts, the
// street and its traffic, camera and the frame loop's clocks, latches and targets, and what the
// viewer's keys have chosen. The frame loop and every feature of the scene work on it; it includes
// none of them.
#pragma once

#include "engine/records.h"
#include "overlay/cls2d_text.h"
#include "scene/parameter_panel.h"
#include "scene/street.h"
#include "scene/vehicle_picks.h"
#include "sim/camera.h"
#include "sim/mdl_kl.h"
#include "sim/round_clock.h"
#include "traffic/model.h"

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

namespace kl::scene {

class SceneObserver;

// Pause, time scale and camera-mode keys.
struct ViewerControls {
    bool Paused = false;
    // The time scale is 2 to this power, from 1/16 to 16.
    std::int32_t ScaleStep = 0;
    // Seconds the camera mode's name stays on the second line.
    float ModeNameTime = 0.0f;
    // What J did, shown on the second line for a while.
    std::string BrakeNote;
    float BrakeNoteTime = 0.0f;
    // The frame time before pause and scale: camera blends and on-screen clocks run on it.
    float WallFrameTime = 0.0f;
    // The keys down at the previous read, so that a held key acts once.
    std::array<bool, 256> WasDown{};
    std::unique_ptr<cls2dText> Line;
};

// The traffic vehicle the camera follows (V).
struct FollowedVehicle {
    bool Active = false;
    // Which vehicle of the street: its road and its id there.
    std::int32_t Road = 0, Id = 0;
    // Seconds left of the move from where the camera was to the vehicle.
    float BlendLeft = 0.0f;
    // On a ring: where along the street the copy of the vehicle the camera rides with was last
    // drawn (simulation y), so that the ride goes on round the ring for ever; not a number when the
    // copy nearest the viewer is to be taken.
    double Along = std::numeric_limits<double>::quiet_NaN();
    Vec3 FromPos, FromDest;
};

struct SceneState {
    explicit SceneState(mdlKl::ProgramState& program) : Program(program) {}
    SceneState(const SceneState&) = delete;
    SceneState& operator=(const SceneState&) = delete;

    // The program's settings, engine, input, players and objects, handed to the scene for its run.
    mdlKl::ProgramState& Program;

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
    ViewerControls Viewer;
    FollowedVehicle Follow;
    // F3: the car-following model's parameters.
    ParameterPanel Parameters;
    // Watches the scene without changing it; none in a plain run of the loop.
    SceneObserver* Observer = nullptr;
};

} // namespace kl::scene
