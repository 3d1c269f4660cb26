// The log is flushed row by row, so that an interrupted run keeps what it logged.
#include "scene/traffic_watch.h"

#include "scene/scene_state.h"
#include "sim/mdl_kl.h"
#include "traffic/log.h"

namespace kl::scene {

TrafficWatch::TrafficWatch(std::ostream* log, std::ostream* dump, std::ostream* trajectories)
    : Log(log), Dump(dump), Trajectories(trajectories) {
    if (Log) *Log << traffic_log_header() << std::flush;
}

void TrafficWatch::traffic_set_up(const SceneState& S) {
    Statistics.restart(S.Street.Vehicles);
    // The traces would jump to the fresh traffic's places.
    Diagram.clear();
    Fundamental.clear();
    Diagram.set_ring(S.Model ? S.Model->ring_length() : 0.0);
    Trajectories.traffic_set_up(S);
}

void TrafficWatch::window_closed(const SceneState& S, float window_seconds) {
    Latest = Statistics.close_window(S.Street.Vehicles, window_seconds, SimTime);
    History.add(*Latest);
    if (Log) *Log << traffic_log_row(*Latest) << std::flush;
}

void TrafficWatch::overlay_drawn(const SceneState& S) {
    SimTime += S.FrameTime;
    Trajectories.frame(S);
    const std::int32_t road = road_under(S.UserPos.x, S.Street.Vehicles.roads());
    Diagram.follow(S.Street.Vehicles, road, SimTime);
    const bool idm = S.Model && S.Model->kind() == TrafficModelKind::Idm;
    if (idm) Fundamental.follow(S.Street.Vehicles, road, S.Model->ring_length(), SimTime, S.FrameTime);
    const bool down = S.KeyBuffer[kPanelKey] != 0;
    if (down && !PanelKeyDown) PanelOn = !PanelOn;
    PanelKeyDown = down;
    if (PanelOn)
        Panel.Draw(Latest ? &*Latest : nullptr, History, Diagram, S.Program.Settings.Width,
                   S.Program.Settings.Height, idm ? &Fundamental : nullptr, &S.Program.TrafficParameters);
}

void TrafficWatch::scene_left(const SceneState& S, std::int64_t frames) {
    // The panel's texts belong to the engine, which goes soon after the scene.
    Panel.Release();
    if (Dump && S.Model) S.Model->dump(*Dump, S.RoadCount, frames, S.Program.LastFrameTime);
    Dumped = true;
}

} // namespace kl::scene
