// The log is flushed row by row, so that an interrupted run keeps what it logged.
#include "scene/traffic_watch.h"

#include "scene/scene_state.h"
#include "sim/mdl_kl.h"
#include "traffic/log.h"

#include <cmath>
#include <string>

namespace kl::scene {

TrafficWatch::TrafficWatch(std::ostream* log, std::ostream* dump, std::ostream* trajectories,
                           std::ostream* detectors)
    : Log(log), Dump(dump), Trajectories(trajectories), Detectors(detectors) {
    if (Log) *Log << traffic_log_header() << std::flush;
    if (Detectors) *Detectors << kLoopDetectorHeader << '\n' << std::flush;
}

void TrafficWatch::write_loop_rows() {
    if (!Detectors || Loops.closed().empty()) return;
    std::string rows;
    for (const LoopInterval& interval : Loops.closed())
        append_loop_rows(rows, interval);
    *Detectors << rows << std::flush;
}

void TrafficWatch::feed_loops(const SceneState& S, std::int32_t road) {
    if (!LoopsOn || S.Viewer.Paused) return;
    const double dt = std::isfinite(LoopPending) && LoopPending > 0 ? LoopPending : 0.0;
    LoopPending = S.Program.LastFrameTime;
    Loops.step(S.Street.Vehicles, dt);
    LoopTime += dt;
    write_loop_rows();
    if (!Inflow) return;
    for (const LoopInterval& interval : Loops.closed()) {
        Fundamental.take_readings(Loops.road_readings(interval, road), road, interval.End);
        Flow.add(Loops.road_readings(interval, road), road, interval.End);
    }
}

void TrafficWatch::traffic_set_up(const SceneState& S) {
    Statistics.restart(S.Street.Vehicles);
    // The traces would jump to the fresh traffic's places.
    Diagram.clear();
    Fundamental.clear();
    Diagram.set_ring(S.Model ? S.Model->ring_length() : 0.0);
    Trajectories.traffic_set_up(S);
    // The interval under way belongs to the traffic that ends here.
    if (LoopsOn) {
        Loops.close();
        write_loop_rows();
    }
    // The loops stand at the same places on every road: a ring whose length is swept has none.
    LoopsOn = S.Model && S.Model->kind() == TrafficModelKind::Idm &&
              !(S.Model->ring_length() > 0 && S.Model->variation().Key == RingLengthKey);
    LoopPending = S.Program.LastFrameTime;
    if (LoopsOn) {
        // The street as the model set it up, its lengths kept to their ranges.
        Loops.set_up(S.Model->scenario_settings(), S.RoadCount, measured_vehicle_lengths(S.Street),
                     S.Street.Vehicles, LoopTime);
    }
    Inflow = LoopsOn && has_inflow(Loops.street().Scenario);
    const Bottleneck neck =
        Inflow ? bottleneck_of(Loops.street().Scenario, Loops.street().RoadLength) : Bottleneck{};
    Diagram.set_road(Inflow ? Loops.street().RoadLength : 0.0, neck);
    Flow.set_up(Inflow ? Loops.positions() : std::vector<double>{}, neck);
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
    feed_loops(S, road);
    if (S.Model && S.Model->ring_length() > 0) Diagram.set_ring(S.Model->ring_length(road));
    Diagram.follow(S.Street.Vehicles, road, SimTime);
    const bool idm = S.Model && S.Model->kind() == TrafficModelKind::Idm;
    if (idm && !Inflow)
        Fundamental.follow(S.Street.Vehicles, road, S.Model->ring_length(road), SimTime, S.FrameTime);
    const bool down = S.KeyBuffer[kPanelKey] != 0;
    if (down && !PanelKeyDown) PanelOn = !PanelOn;
    PanelKeyDown = down;
    if (PanelOn) {
        const InflowView inflow{&Flow, S.Model && road >= 0 ? S.Model->waiting(road) : 0};
        Panel.Draw(Latest ? &*Latest : nullptr, History, Diagram, S.Program.Settings.Width,
                   S.Program.Settings.Height, idm ? &Fundamental : nullptr, &S.Program.TrafficParameters,
                   Inflow ? &inflow : nullptr);
    }
}

void TrafficWatch::scene_left(const SceneState& S, std::int64_t frames) {
    // The panel's texts belong to the engine, which goes soon after the scene.
    Panel.Release();
    if (LoopsOn) {
        Loops.close();
        write_loop_rows();
    }
    if (Dump && S.Model) S.Model->dump(*Dump, S.RoadCount, frames, S.Program.LastFrameTime);
    Dumped = true;
}

} // namespace kl::scene
