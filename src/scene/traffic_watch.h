// Watches the traffic for people who want to understand it: statistics every frame-rate window, the
// history of the user's road for the space-time diagram, the statistics panel toggled by F2, the
// statistics log and the dump of the tables when the scene ends.
// It only reads the scene; the traffic runs the same with or without it.
#pragma once

#include "platform/input/key_names.h"
#include "scene/scene_observer.h"
#include "scene/traffic_panel.h"
#include "scene/trajectories.h"
#include "traffic/loop_detectors.h"
#include "traffic/run_summary.h"
#include "traffic/statistics.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kl::scene {

// F2: a key no command uses.
inline constexpr std::uint8_t kPanelKey = platform::key::F2;

class TrafficWatch final : public SceneObserver {
  public:
    // log receives the CSV statistics (header at once, a row per window), dump the tables when the
    // scene ends; either may be null.
    // trajectories, when given, receives the floating-car data (see TrajectoryWriter), detectors the
    // loop detectors' readings (CSV, header at once, an interval's rows when it closes).
    TrafficWatch(std::ostream* log, std::ostream* dump, std::ostream* trajectories = nullptr,
                 std::ostream* detectors = nullptr);

    void traffic_set_up(const SceneState& S) override;
    void window_closed(const SceneState& S, float window_seconds) override;
    void overlay_drawn(const SceneState& S) override;
    void scene_left(const SceneState& S, std::int64_t frames) override;

    bool panel_on() const { return PanelOn; }
    const std::optional<TrafficFigures>& latest() const { return Latest; }
    const SpaceTimeHistory& diagram() const { return Diagram; }
    // True once the scene ended and the dump (if any) was written.
    bool dumped() const { return Dumped; }
    // The loop detectors, measuring while the car-following model runs.
    const LoopDetectors& loops() const { return Loops; }

    // Experiments. out receives the summary (see write_summary) when the scene ends; frames is the
    // run's frame count when known, whose last third the summary is taken over.
    void write_summary_to(std::ostream* out, std::optional<std::int64_t> frames);
    // Road 0's space-time and fundamental diagrams (the F2 pictures), kept from now on whichever road
    // the user is on, and drawn into diagrams_picture() when the scene ends: the space-time diagram
    // above the fundamental diagram (the car-following model's only), each twice its panel size.
    void keep_road_diagrams() { KeepDiagrams = true; }
    const RgbaImage& diagrams_picture() const { return DiagramsPicture; }

  private:
    std::ostream* Log;
    std::ostream* Dump;
    TrafficStatistics Statistics;
    SpeedHistory History;
    // Kept while the panel is hidden too, so that it opens on the last minute.
    SpaceTimeHistory Diagram;
    FundamentalDiagram Fundamental;
    std::optional<TrafficFigures> Latest;
    TrafficPanel Panel;
    TrajectoryWriter Trajectories;
    bool PanelOn = false;
    bool PanelKeyDown = false;
    // Simulated seconds: the frame times of the frames whose traffic has moved.
    double SimTime = 0;
    bool Dumped = false;

    // After each step of the car-following model; the closed intervals go to the file.
    void feed_loops(const SceneState& S, std::int32_t road);
    void write_loop_rows();
    std::ostream* Detectors;
    LoopDetectors Loops;
    bool LoopsOn = false;
    // A road fed by an inflow: its fundamental diagram from the loops, and the bottleneck's flow.
    bool Inflow = false;
    BottleneckFlow Flow;
    // The frame time the next step moves by, as the loop left it (see TrajectoryWriter), and the
    // simulated seconds the detectors have seen.
    float LoopPending = 0;
    double LoopTime = 0;

    // Experiments: the summary's figures since the traffic was last set up, the frames seen in the
    // whole run, and what was swept.
    std::ostream* SummaryOut = nullptr;
    std::optional<std::int64_t> RunFrames;
    SummaryAccumulator Summary;
    std::int64_t FramesSeen = 0;
    void write_summary(const SceneState& S);
    bool KeepDiagrams = false;
    SpaceTimeHistory Road0Diagram;
    FundamentalDiagram Road0Fundamental;
    RgbaImage DiagramsPicture;
    void draw_diagrams(const SceneState& S);
};

} // namespace kl::scene
