// Rounds and frames: time, frame-rate window, input, commands, clocks, camera, the static scene and
// the traffic with view-cone culling, the user's vehicle, the overlay, and the frame shown.
#include "engine/draw_reach.h"
#include "engine/math.h"
#include "engine/mdl_main.h"
#include "platform/os/optimisations.h"
#include "resources/cls3d_object.h"
#include "resources/scene_textures.h"
#include "scene/bottleneck_street.h"
#include "scene/camera_phases.h"
#include "scene/follow_vehicle.h"
#include "scene/guarded.h"
#include "scene/hud_line.h"
#include "scene/ring_drawing.h"
#include "scene/run_scene.h"
#include "scene/scene_observer.h"
#include "scene/side_task.h"
#include "scene/vehicle_picks.h"
#include "scene/view_test.h"
#include "scene/viewer_controls.h"
#include "sim/mdl_kl.h"
#include "sim/round_clock.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace kl::scene {

namespace {

constexpr float kPi = 3.1415927f;
// Placement checks repeated at most this often: every vehicle is put back at the same start, so
// two or more vehicles could never come apart.
constexpr int kMaxPlacementChecks = 1000;

void check_placement(SceneState& S) {
    for (int attempt = 0; attempt < kMaxPlacementChecks; ++attempt) {
        S.PlayersApart = true;
        for (std::int64_t i = 0; i <= S.Program.Settings.LastPlayer; ++i) {
            for (std::int64_t j = 0; j <= S.Program.Settings.LastPlayer; ++j) {
                if (i == j) continue;
                const bool close = holds_or_faults([&] {
                    const Vec3 a = S.Program.PlayerAt(i).PosProp(), b = S.Program.PlayerAt(j).PosProp();
                    return std::fabs(b.x - a.x) < 20 && std::fabs(b.y - a.y) < 20;
                });
                if (close) S.PlayersApart = false;
            }
        }
        if (S.PlayersApart) return;
        for (std::int64_t i = 0; i <= S.Program.Settings.LastPlayer; ++i)
            resume_past_fault([&] { S.Program.PlayerAt(i).GeneratePos(); });
    }
}

void draw_if_in_view(SceneState& S, std::int64_t k, double threshold, const ViewTest& view) {
    if (holds_or_faults([&] { return view(S.Program.ObjectAt(k).POSX(), threshold); }))
        resume_past_fault([&] { S.Program.ObjectAt(k).Render(); });
}

// An object whose model is wholly off the picture, or falls between the pixel centres; drawing it
// would change no pixel.
bool reaches_no_pixel(const DrawReach& reach, KlObject& object) {
    cls3dObject* model = object.Model();
    Vec3 low, high;
    return model != nullptr && model->MeshBounds(low, high) &&
           reach.ReachesNoPixel(model->WorldMatrix(), low, high);
}

// The roads are always drawn; of their pieces, those that can put a pixel on the picture.
void draw_roads(SceneState& S, const DrawReach& reach) {
    StaticBatch& roads = S.Street.Roads;
    if (platform::OptimisationsOff() || !roads.Ready()) {
        for (std::int64_t i = 0; i < S.RoadCount; ++i)
            resume_past_fault(
                [&] { S.Program.ObjectAt(road_object_index(S.Program.BuildingCount, i)).Render(); });
        return;
    }
    static std::vector<char> in_view;
    in_view.assign(roads.Pieces(), 0);
    const Matrix4 identity = MatrixIdentity();
    for (std::size_t p = 0; p < in_view.size(); ++p) {
        Vec3 low, high;
        roads.PieceBounds(p, low, high);
        in_view[p] = !reach.ReachesNoPixel(identity, low, high);
    }
    resume_past_fault([&] { roads.Draw(in_view); });
}

// Every building is the same model with many textures. Drawn one whole building after another, the
// renderer changes texture at almost every subset, and Mesa's software rasteriser pays for each
// change far more than for the few triangles of the subset. Drawn subset by subset across the
// buildings in view, the texture changes once per subset. Buildings stand apart, so the order in
// which two of them are drawn changes no pixel; each building's own subsets keep their order.
void draw_buildings(SceneState& S, const ViewTest& view, const DrawReach& reach) {
    if (DrawRepeatedCity(S, view, reach) || DrawRingCity(S, view, reach)) return;
    if (platform::OptimisationsOff()) {
        for (std::int64_t i = 0; i < S.Program.BuildingCount; ++i)
            draw_if_in_view(S, 2 + i, kBuildingCone, view);
        return;
    }
    static std::vector<char> in_view;
    in_view.assign(static_cast<std::size_t>(std::max<std::int64_t>(S.Program.BuildingCount, 0)), 0);
    for (std::int64_t i = 0; i < S.Program.BuildingCount; ++i) {
        const std::int64_t k = 2 + i;
        if (holds_or_faults([&] {
                KlObject& building = S.Program.ObjectAt(k);
                return view(building.POSX(), kBuildingCone) && !reaches_no_pixel(reach, building);
            }))
            in_view[static_cast<std::size_t>(i)] = 1;
    }
    // The same triangles with the same states, moved into place once at set-up rather than by a
    // transform per building and subset.
    if (S.Street.Buildings.Ready()) {
        S.Street.Buildings.Draw(in_view);
        return;
    }
    std::int32_t subsets = 0;
    for (std::int64_t i = 0; i < S.Program.BuildingCount; ++i)
        if (in_view[static_cast<std::size_t>(i)])
            resume_past_fault([&] { subsets = std::max(subsets, S.Program.ObjectAt(2 + i).SubsetCount()); });
    for (std::int32_t j = 0; j < subsets; ++j)
        for (std::int64_t i = 0; i < S.Program.BuildingCount; ++i)
            if (in_view[static_cast<std::size_t>(i)])
                resume_past_fault([&] { S.Program.ObjectAt(2 + i).RenderSubset(j); });
}

// The plain path draws the vehicles' own objects one by one, and any other vehicle by itself where it
// stands with its kind's model. An object whose vehicle is not on the road (not yet entered, or gone
// past the road's end) stands where it was last and is not drawn; nor is one whose model is not its
// vehicle's kind (on a road fed by an inflow, the kinds come as the traffic arrives, whatever the id).
void draw_vehicles_one_by_one(SceneState& S, const ViewTest& view) {
    const std::int64_t first = vehicle_object_index(S.Program.BuildingCount, S.RoadCount, 0, 0);
    const std::int64_t end = vehicle_object_index(S.Program.BuildingCount, S.RoadCount, 0, S.RoadCount);
    static std::vector<char> on_road;
    static std::vector<const Vehicle*> alone;
    on_road.assign(static_cast<std::size_t>(std::max<std::int64_t>(end - first, 0)), 0);
    alone.clear();
    for (const Vehicle& v : S.Street.Vehicles.all()) {
        const auto k = VehicleObject(S.Program.BuildingCount, S.RoadCount, v);
        // An automated vehicle wears its own look, which its object does not have.
        if (k && *k >= first && *k < end && v.Kind == ObjectKind(v.Id) && !v.Automated)
            on_road[static_cast<std::size_t>(*k - first)] = 1;
        else
            alone.push_back(&v);
    }
    for (std::int64_t k = first; k < end; ++k)
        if (on_road[static_cast<std::size_t>(k - first)]) draw_if_in_view(S, k, kVehicleCone, view);
    for (const Vehicle* v : alone)
        if (view(VehicleSimPosition(*v), kVehicleCone)) DrawVehicleAlone(S.Street, *v);
}

// The picked vehicles go out model by model, a draw call per subset for all vehicles of a model;
// vehicles stand apart, so the order in which two of them are drawn changes no pixel.
void draw_vehicles(SceneState& S, const ViewTest& view, const DrawReach& reach) {
    if (platform::OptimisationsOff()) return draw_vehicles_one_by_one(S, view);
    if (S.Model && S.Model->ring_length() > 0) return DrawRingVehicles(S, reach);
    MovingBatch& batch = S.Street.VehicleBatch;
    batch.Begin();
    for (const std::vector<VehiclePick>& road : S.Picks.ByRoad())
        for (const VehiclePick& pick : road)
            if (!batch.Add(*S.Street.ModelOf(*pick.vehicle)->Model, pick.world, pick.form))
                DrawVehicleAlone(S.Street, *pick.vehicle);
    resume_past_fault([&] { batch.Draw(); });
}

// The sky and the ground span the whole picture, and in a wide street the roads, buildings and
// vehicles hide much of both. Drawn after those, their hidden pixels fail the depth test before they
// are textured, which the software rasteriser would otherwise do for nearly every pixel twice. A
// pixel shows the nearest surface and, of equally near ones, the one drawn later in the plain order
// (the test passes on "less or equal"). So drawn last, the ground and the sky must lose such ties to
// everything drawn before them ("less"), and the ground goes before the sky, whose ties it won when
// it came after it. Nothing in the scene blends, so which surface wins is all that decides a pixel.
void draw_sky_and_ground(SceneState& S, bool behind) {
    if (!behind) {
        resume_past_fault([&] { S.Program.ObjectAt(0).Render(); });
        resume_past_fault([&] { S.Program.ObjectAt(1).Render(); });
        return;
    }
    gfx::Device* device = CurrentDevice();
    if (device != nullptr) IgnoreStatus(device->SetRenderState(gfx::rs::ZFunc, gfx::CmpLess), "drawn as before");
    resume_past_fault([&] { S.Program.ObjectAt(1).Render(); });
    resume_past_fault([&] { S.Program.ObjectAt(0).Render(); });
    if (device != nullptr)
        IgnoreStatus(device->SetRenderState(gfx::rs::ZFunc, gfx::CmpLessEqual), "drawn as before");
}

void rebuild_hud(SceneState& S) {
    resume_past_fault([&] {
        const double rate = S.FpsFrames / (static_cast<double>(S.FpsTime) + 0.00001);
        S.HudLine = BuildHudLine(rate, S.Program.Gear, S.Program.PlayerAt(0).POSX(),
                                 S.Program.Settings.PlayerSpeed, UserDecimalSeparator());
    });
}

void draw_overlay(SceneState& S) {
    resume_past_fault([&] { S.HudText->Render(S.HudLine); });
    if (S.QuitPrompt) {
        resume_past_fault([&] { S.PromptText->SetFormat(1, 1); });
        resume_past_fault([&] {
            S.PromptText->SetPosition(0, S.Program.Settings.Height - 20, S.Program.Settings.Width,
                                      S.Program.Settings.Height);
        });
        resume_past_fault([&] { S.PromptText->SetColor(mdlMain::ColorRGB(255, 255, 255)); });
        resume_past_fault([&] { S.PromptText->Render("Really quit? Return = yes, ESC = no"); });
    }
}

} // namespace

void StartRound(SceneState& S) {
    if (!S.FirstRound) {
        for (std::int64_t i = 0; i <= S.Program.Settings.LastPlayer; ++i) {
            resume_past_fault([&] { S.Program.PlayerAt(i).Crash(); });
            resume_past_fault([&] { S.Program.PlayerAt(i).Delete(); });
        }
    }
    for (std::int64_t i = 0; i <= S.Program.Settings.LastPlayer; ++i)
        resume_past_fault([&] { S.Program.PlayerAt(i).Reset(); });

    check_placement(S);

    S.FirstRound = false;
    resume_past_fault([&] { S.ViewDir = S.Program.PlayerAt(0).DirPropV(); });
    S.FollowMove = {0, 0, 0};
    S.FpsFrames = 0;
    S.FollowedPlayer = -1;
    S.FpsTime = 0;
    S.Round.RoundClock = 0;
    S.DeadClock = 0;
    S.FollowClock = 0;
    S.EscLatch = false;
    S.ReturnLatch = false;
    S.Round.ControlEnabled = false;
    S.Round.RoundEndAllowed = false;
    S.CameraPhase = 3;
    S.Round.TimeScale = 1.0f;
    S.QuitPrompt = false;
    if (!S.ChaseCamera) S.ChaseCamera = std::make_unique<Camera>();
    resume_past_fault([&] { S.Program.Engine->SetLookDistance(80000, kPi / 4); });
    resume_past_fault([&] { S.Program.Engine->StartTimer(); });
}

FrameExit RunFrame(SceneState& S, const std::function<void()>& before_present) {
    resume_past_fault([&] {
        const float t = S.Program.Engine->GetRelTimeDiff();
        S.FrameTime = t;
        S.FpsTime += t;
    });
    if (S.FpsTime >= 0.5f) {
        rebuild_hud(S);
        if (S.Observer) resume_past_fault([&] { S.Observer->window_closed(S, S.FpsTime); });
        S.FpsTime = 0;
        S.FpsFrames = 0;
    }
    S.FpsFrames += 1;
    S.FrameTime = S.FrameTime * S.Round.TimeScale;

    resume_past_fault([&] { S.Program.Input->ReadMouse(); });
    const platform::KeyStateTable* keys = nullptr;
    resume_past_fault([&] {
        std::string typed;
        keys = S.Program.Input->ReadKeyboard(typed);
    });
    if (keys == nullptr) return FrameExit::KeyboardFailed;
    S.KeyBuffer = *keys;

    const FrameExit command = ApplyKeyboardCommands(S);
    if (command != FrameExit::None) return command;
    ApplyViewerControls(S);

    if (holds_or_faults([&] { return !S.Program.PlayerAt(0).Alive; })) S.DeadClock += S.FrameTime;
    resume_past_fault([&] { AdvanceRoundClock(S.Round, S.FrameTime); });
    resume_past_fault([&] { S.UserPos = S.Program.PlayerAt(0).PosProp(); });
    RunCameraPhase(S);
    PlaceFollowCamera(S);
    resume_past_fault([&] { S.ChaseCamera->DoEventsX(CameraFrameTime(S)); });

    resume_past_fault(
        [&] { S.Program.Engine->RenderStart(mdlMain::MakeVec2(0, 0), mdlMain::MakeVec2(0, 0)); });
    resume_past_fault([&] {
        S.Program.Engine->RenderClear(true, mdlMain::ColorRGB(0, 0, 0), true,
                                      S.Program.Settings.ClearMode == 2);
    });
    if (holds_or_faults([&] {
            return S.ChaseCamera->IsAngleBlended() && S.Program.Settings.CameraMode != 4 &&
                   S.Program.Settings.CameraMode != 5;
        }))
        resume_past_fault([&] { S.Program.Engine->SetLookDistance(50000, S.ChaseCamera->GetAngle()); });
    resume_past_fault([&] { S.ChaseCamera->SetCamera(); });
    resume_past_fault([&] { S.Program.Engine->SetZState(true, true); });
    resume_past_fault([&] { S.Program.Engine->SetSpecularState(true); });

    ViewTest view;
    resume_past_fault([&] { view.U = S.Program.PlayerAt(0).POSX(); });
    // A view direction that cannot be read leaves every object in view.
    view.Everything = S.FramesSinceStep == 0 || holds_or_faults([&] {
                          view.V = S.Program.PlayerAt(0).DirPropV();
                          return false;
                      });
    const bool sky_last = !platform::OptimisationsOff();
    if (!sky_last) draw_sky_and_ground(S, false);
    // The camera and the projection stay as they are for the rest of the frame.
    DrawReach reach;
    if (!platform::OptimisationsOff())
        resume_past_fault([&] { reach = DrawReach::FromEngine(*S.Program.Engine); });
    // Paused, the traffic takes no step at all: its speeds and side slides change per step, not
    // per second.
    const bool moving = !S.Viewer.Paused;
    const TrafficFrame frame{S.RoadCount, S.FrameTime, S.Program.LastFrameTime};
    // The step moves only the vehicles, and the roads and buildings read only their own objects and
    // the device, which the step never touches: so the step runs on another core while they are
    // drawn, and then picks the open street's vehicles to draw, helped by this thread once it is done
    // with the buildings. The plain path keeps everything one after the other.
    const bool optimised = !platform::OptimisationsOff();
    const bool pick = optimised && !(S.Model && S.Model->ring_length() > 0);
    if (pick) S.Picks.Start(S.Street, view, reach);
    SideTask side(
        [&] {
            try {
                if (moving) {
                    resume_past_fault([&] {
                        if (S.Model) S.Model->step(frame, S.Street.Vehicles);
                    });
                    PlaceVehicleObjects(S.Program, S.Street.Vehicles, S.RoadCount);
                }
            } catch (...) {
                if (pick) S.Picks.Open();
                throw;
            }
            if (pick) {
                S.Picks.Open();
                S.Picks.Pick();
            }
        },
        optimised);
    draw_roads(S, reach);
    DrawBottleneckFurniture(S, view, reach);
    draw_buildings(S, view, reach);
    if (pick && side.Beside()) S.Picks.Pick();
    side.Join();
    draw_vehicles(S, view, reach);
    if (sky_last) draw_sky_and_ground(S, true);
    if (moving) S.Program.LastFrameTime = S.FrameTime;

    if (moving)
        resume_past_fault(
            [&] { S.Program.PlayerAt(0).DoEventsX(S.FrameTime, S.Program.Settings.PlayerSpeed); });
    draw_overlay(S);
    DrawViewerLine(S);
    resume_past_fault(
        [&] { S.Parameters.Frame(S.KeyBuffer, S.Viewer.WallFrameTime, S.Model.get(), S.Program); });
    if (S.Observer) resume_past_fault([&] { S.Observer->overlay_drawn(S); });

    resume_past_fault([&] { S.Program.Engine->RenderEnd(); });
    if (before_present) before_present();
    resume_past_fault([&] { S.Program.Engine->RenderShow(); });
    S.FramesSinceStep += 1;
    if (S.Parameters.take_restart()) return FrameExit::Restart;
    // The window's close button ends the program as the quit prompt does.
    if (holds_or_faults([&] { return S.Program.Engine->CloseRequested(); })) return FrameExit::Quit;
    return FrameExit::None;
}

void RunScene(mdlKl::ProgramState& program, const RunConfiguration& run, const SceneHooks& hooks) {
    SceneState S(program);
    S.Observer = hooks.Observer;
    if (!SetUpScene(S, run)) return;

    std::int64_t frames = 0;
    const auto leave = [&] {
        // ImGui's texture belongs to the engine's device, which goes soon after the scene.
        S.Parameters.Release();
        if (S.Observer) resume_past_fault([&] { S.Observer->scene_left(S, frames); });
    };
    while (holds_or_faults([&] { return S.Round.RoundCount < S.Program.Settings.RoundLimit; })) {
        StartRound(S);
        FrameExit exit = FrameExit::None;
        while (exit == FrameExit::None) {
            const bool last = hooks.MaxFrames >= 0 && frames + 1 >= hooks.MaxFrames;
            std::function<void()> before_present = last ? hooks.BeforeLastPresent : std::function<void()>{};
            if (hooks.BeforePresent)
                before_present = [&hooks, last] {
                    hooks.BeforePresent();
                    if (last && hooks.BeforeLastPresent) hooks.BeforeLastPresent();
                };
            exit = RunFrame(S, before_present);
            ++frames;
            if (hooks.AfterFrame) hooks.AfterFrame(S);
            if (exit == FrameExit::None && last) exit = FrameExit::Quit;
        }
        if (exit == FrameExit::Quit || exit == FrameExit::KeyboardFailed) {
            leave();
            return;
        }
        if (exit == FrameExit::Restart) SetUpTrafficState(S);
    }
    leave();
    ReleaseScene(S.Program);
}

} // namespace kl::scene
