// Pause and slow or fast motion act on the frame time after the loop's own TimeScale, which the
// round clock puts back to 1 every frame; the viewer's scale is kept here instead.
#include "scene/viewer_controls.h"

#include "engine/mdl_main.h"
#include "platform/input/key_names.h"
#include "scene/brake_key.h"
#include "scene/follow_vehicle.h"
#include "scene/guarded.h"
#include "scene/scene_state.h"
#include "scene/street.h"
#include "sim/mdl_kl.h"

#include <cmath>
#include <cstdio>

namespace kl::scene {

namespace {

namespace key = platform::key;
constexpr float kModeNameSeconds = 2.0f;

// Down now and not at the previous read; remembers this read for the next.
bool pressed(ViewerControls& v, const std::array<std::uint8_t, 256>& keys, std::uint8_t code) {
    const bool down = keys[code] != 0;
    const bool was = v.WasDown[code];
    v.WasDown[code] = down;
    return down && !was;
}

} // namespace

std::string CameraModeName(std::int32_t mode) {
    static const char* const kNames[] = {"on board",          "chase, near",       "chase, far", "overhead",
                                         "overhead, gliding", "overhead, gliding", "overhead",   "overhead"};
    const std::string number = "camera " + std::to_string(mode);
    if (mode < 0 || mode > 7) return number;
    return number + ": " + kNames[mode];
}

std::string TimeScaleText(std::int32_t scale_step) {
    if (scale_step == 0) return {};
    const std::string factor = std::to_string(1 << std::abs(scale_step));
    return scale_step > 0 ? "time \xC3\x97" + factor
                          : "time \xC3\x97"
                            "1/" +
                                factor;
}

void ApplyViewerControls(SceneState& S) {
    SettingsRecord& Settings = S.Program.Settings;
    ViewerControls& v = S.Viewer;
    v.WallFrameTime = S.FrameTime;
    const auto& keys = S.KeyBuffer;
    if (pressed(v, keys, key::P)) v.Paused = !v.Paused;
    if (pressed(v, keys, key::LBracket) && v.ScaleStep > kMinScaleStep) v.ScaleStep -= 1;
    if (pressed(v, keys, key::RBracket) && v.ScaleStep < kMaxScaleStep) v.ScaleStep += 1;
    if (pressed(v, keys, key::C)) {
        const std::int32_t mode = Settings.CameraMode;
        Settings.CameraMode = mode >= 0 && mode < 7 ? mode + 1 : 0;
        v.ModeNameTime = kModeNameSeconds;
    } else if (v.ModeNameTime > 0.0f) {
        v.ModeNameTime -= v.WallFrameTime;
    }
    if (pressed(v, keys, key::V)) {
        if (keys[key::LShift] != 0 || keys[key::RShift] != 0)
            S.Follow.Active = false;
        else
            FollowNextVehicle(S);
    }
    if (pressed(v, keys, key::G)) GoToBottleneck(S);
    const bool brake = pressed(v, keys, key::J), automate = pressed(v, keys, key::A);
    if (brake || automate) {
        v.BrakeNote = brake ? BrakeVehicle(S) : SwitchAutomated(S);
        v.BrakeNoteTime = kModeNameSeconds;
    } else if (v.BrakeNoteTime > 0.0f) {
        v.BrakeNoteTime -= v.WallFrameTime;
    }
    if (v.Paused)
        S.FrameTime = 0.0f;
    else if (v.ScaleStep != 0)
        S.FrameTime = std::ldexp(S.FrameTime, v.ScaleStep);
}

bool GoToBottleneck(SceneState& S) {
    const ScenarioSettings street = S.Model ? S.Model->scenario_settings() : ScenarioSettings{};
    if (!has_inflow(street.Scenario)) return false;
    Vec3 U;
    if (holds_or_faults([&] {
            U = S.Program.PlayerAt(0).POSX();
            return false;
        }))
        return false;
    Vehicle spot;
    spot.Road = road_under(U.x, S.Street.Vehicles.roads());
    if (spot.Road < 0) return false;
    spot.Across = LaneWidthMetres;
    spot.Position = bottleneck_of(street.Scenario, street.RoadLength).Start - kBottleneckViewAhead;
    const Vec3 at = VehicleSimPosition(spot);
    // At the height the user's vehicle always rides.
    resume_past_fault([&] { S.Program.PlayerAt(0).PlaceAt({at.x, at.y, 1.0f}, {0, 1, 0}); });
    S.Follow.Active = false;
    return true;
}

float CameraFrameTime(const SceneState& S) {
    return S.Viewer.Paused ? S.Viewer.WallFrameTime : S.FrameTime;
}

std::string SweptValueText(const SceneState& S) {
    if (!S.Model) return {};
    const RoadVariation vary = S.Model->variation();
    const std::int32_t roads = S.Street.Vehicles.roads();
    const std::int32_t road = road_under(S.UserPos.x, roads);
    if (!vary.active() || road < 0) return {};
    char value[32];
    std::snprintf(value, sizeof value, "%.4g", vary.value(road, roads));
    return vary.Key + " " + value + " (road " + std::to_string(road) + ")";
}

std::string ViewerStatusLine(const SceneState& S) {
    std::string line;
    const auto add = [&line](const std::string& part) {
        if (part.empty()) return;
        if (!line.empty()) line += "   ";
        line += part;
    };
    if (S.Model && S.Model->kind() != TrafficModelKind::Classic)
        add(std::string("traffic model: ") + S.Model->name());
    add(SweptValueText(S));
    add(S.Viewer.Paused ? std::string("paused") : TimeScaleText(S.Viewer.ScaleStep));
    if (S.Viewer.ModeNameTime > 0.0f) add(CameraModeName(S.Program.Settings.CameraMode));
    if (S.Viewer.BrakeNoteTime > 0.0f) add(S.Viewer.BrakeNote);
    add(FollowedVehicleText(S));
    return line;
}

void DrawViewerLine(SceneState& S) {
    const std::string line = ViewerStatusLine(S);
    if (line.empty()) return;
    SettingsRecord& Settings = S.Program.Settings;
    if (!S.Viewer.Line) {
        S.Viewer.Line = std::make_unique<cls2dText>();
        resume_past_fault([&] { S.Viewer.Line->SetFont("Arial", 20, false, false, false); });
        resume_past_fault([&] { S.Viewer.Line->SetColor(mdlMain::ColorRGB(255, 255, 255)); });
    }
    // Above the quit prompt's row, clear of the traffic panel below the first line.
    resume_past_fault(
        [&] { S.Viewer.Line->SetPosition(8, Settings.Height - 44, Settings.Width, Settings.Height - 24); });
    resume_past_fault([&] { S.Viewer.Line->Render(line); });
}

} // namespace kl::scene
