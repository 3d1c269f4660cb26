// The log is flushed row by row, so that an interrupted run keeps what it logged.
#include "scene/traffic_watch.h"

#include "scene/scene_state.h"
#include "sim/mdl_kl.h"
#include "traffic/log.h"

#include <algorithm>
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
        if (KeepDiagrams) Road0Fundamental.take_readings(Loops.road_readings(interval, 0), 0, interval.End);
    }
}

void TrafficWatch::traffic_set_up(const SceneState& S) {
    Statistics.restart(S.Street.Vehicles);
    // The summary is of the traffic the run ends with.
    Summary.start(RunFrames, FramesSeen);
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
    // The loops serve the detectors file and, on a road fed by an inflow, the panel's pictures; on the
    // other streets without the file they would count for nobody. They stand at the same places on
    // every road: a ring whose length is swept has none.
    LoopsOn = S.Model && S.Model->kind() == TrafficModelKind::Idm &&
              (Detectors != nullptr || has_inflow(S.Model->scenario_settings().Scenario)) &&
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
    if (KeepDiagrams) {
        Road0Diagram.clear();
        Road0Fundamental.clear();
        Road0Diagram.set_ring(S.Model ? S.Model->ring_length() : 0.0);
        Road0Diagram.set_road(Inflow ? Loops.street().RoadLength : 0.0, neck);
    }
    Flow.set_up(Inflow ? Loops.positions() : std::vector<double>{}, neck);
}

void TrafficWatch::window_closed(const SceneState& S, float window_seconds) {
    Latest = Statistics.close_window(S.Street.Vehicles, window_seconds, SimTime);
    History.add(*Latest);
    if (Log) *Log << traffic_log_row(*Latest) << std::flush;
}

void TrafficWatch::overlay_drawn(const SceneState& S) {
    FramesSeen += 1;
    if (SummaryOut) Summary.frame(S.Street.Vehicles, S.FrameTime, !S.Viewer.Paused);
    SimTime += S.FrameTime;
    Trajectories.frame(S);
    const std::int32_t road = road_under(S.UserPos.x, S.Street.Vehicles.roads());
    feed_loops(S, road);
    if (S.Model && S.Model->ring_length() > 0) Diagram.set_ring(S.Model->ring_length(road));
    Diagram.follow(S.Street.Vehicles, road, SimTime);
    const bool idm = S.Model && S.Model->kind() == TrafficModelKind::Idm;
    if (idm && !Inflow)
        Fundamental.follow(S.Street.Vehicles, road, S.Model->ring_length(road), SimTime, S.FrameTime);
    if (KeepDiagrams) {
        if (S.Model && S.Model->ring_length() > 0) Road0Diagram.set_ring(S.Model->ring_length(0));
        Road0Diagram.follow(S.Street.Vehicles, 0, SimTime);
        if (idm && !Inflow)
            Road0Fundamental.follow(S.Street.Vehicles, 0, S.Model->ring_length(0), SimTime, S.FrameTime);
    }
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
    if (SummaryOut) write_summary(S);
    if (KeepDiagrams) draw_diagrams(S);
    Dumped = true;
}

void TrafficWatch::draw_diagrams(const SceneState& S) {
    constexpr std::int32_t kScale = 2, kGap = 4;
    const bool idm = S.Model && S.Model->kind() == TrafficModelKind::Idm;
    RgbaImage space_time, fundamental;
    Road0Diagram.rasterise(space_time, kDiagramBackground);
    if (idm)
        Road0Fundamental.rasterise(fundamental, kDiagramBackground, S.Program.TrafficParameters,
                                   mean_vehicle_length(VehicleLengths{}));
    const std::int32_t width = SpaceTimeHistory::Width * kScale;
    const std::int32_t height =
        (SpaceTimeHistory::Height + (idm ? kGap + FundamentalDiagram::Height : 0)) * kScale;
    DiagramsPicture = RgbaImage(width, height);
    const auto copy = [&](const RgbaImage& from, std::int32_t top) {
        for (std::int32_t y = 0; y < from.Height * kScale; ++y)
            for (std::int32_t x = 0; x < width && x < from.Width * kScale; ++x)
                std::copy_n(from.at(x / kScale, y / kScale), 4, DiagramsPicture.at(x, top + y));
    };
    copy(space_time, 0);
    if (idm) copy(fundamental, (SpaceTimeHistory::Height + kGap) * kScale);
}

void TrafficWatch::write_summary_to(std::ostream* out, std::optional<std::int64_t> frames) {
    SummaryOut = out;
    RunFrames = frames;
}

void TrafficWatch::write_summary(const SceneState& S) {
    const VehicleList& vehicles = S.Street.Vehicles;
    const std::int32_t roads = vehicles.roads();
    // A swept parameter gives each road its own ring or its own parameters, and so its own theory.
    const RoadVariation vary = S.Model ? S.Model->variation() : RoadVariation{};
    std::vector<double> values;
    if (vary.active())
        for (std::int32_t r = 0; r < roads; ++r)
            values.push_back(vary.value(r, roads));
    const VehicleLengths lengths = measured_vehicle_lengths(S.Street);
    const std::vector<RoadSpeeds> speeds = Summary.last_third(roads);
    std::vector<SummaryRow> rows;
    for (std::int32_t r = 0; r < roads; ++r) {
        const double ring = S.Model ? S.Model->ring_length(r) : 0.0;
        SummaryRow row;
        row.Road = r;
        row.Vehicles = static_cast<std::int64_t>(vehicles.road(r).size());
        row.Speeds = speeds[static_cast<std::size_t>(r)];
        row.Length = ring > 0 ? ring : S.Model ? S.Model->road_length() : 0.0;
        if (ring > 0)
            row.GrowthRate = ring_road_growth_rate(vary.parameters_of(S.Program.TrafficParameters, r, roads),
                                                   ring, vehicles.road(r), lengths);
        rows.push_back(row);
    }
    kl::write_summary(*SummaryOut, vary.Key, values, rows);
    SummaryOut->flush();
}

} // namespace kl::scene
