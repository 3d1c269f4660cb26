// The traffic statistics panel: the latest figures as a small table, the mean speed of each lane over
// the last 60 seconds as a line plot and, beside them, the space-time diagram of the user's road, drawn
// on top of the status line with the engine's 2D boxes and lines, texts and one texture of its own.
#pragma once

#include "overlay/cls2d_picture.h"
#include "overlay/cls2d_text.h"
#include "overlay/cls2d_texture.h"
#include "scene/fundamental_diagram.h"
#include "scene/space_time_diagram.h"
#include "traffic/loop_detectors.h"
#include "traffic/statistics.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kl {

// Mean speeds per lane of the windows of the last Span seconds, oldest first.
class SpeedHistory {
  public:
    static constexpr double Span = 60.0;
    struct Sample {
        double Time = 0;
        std::array<double, 3> Kmh{};
    };

    void add(const TrafficFigures& F);
    const std::deque<Sample>& samples() const { return Samples; }
    // The points the plot draws: the samples averaged over buckets of PointSeconds of simulated
    // time, each at the time of its bucket's latest sample; a lane empty all through a bucket has no
    // mean there. Every line costs the frame a draw, so the plot keeps to about 30 per lane.
    static constexpr double PointSeconds = 2.0;
    std::vector<Sample> plot_points() const;

  private:
    std::deque<Sample> Samples;
};

// The flow at a road's bottleneck over the last Span seconds, all main lanes together, as the loop
// detectors give it a minute at a time: at the loop just before the bottleneck and at the one nearest
// 500 m past its end, where the vehicles that got through have sped up again. When a queue forms the
// flow through the bottleneck falls below what the road carried before it.
class BottleneckFlow {
  public:
    static constexpr double Span = 1800.0;
    static constexpr double Downstream = 500.0;
    struct Sample {
        double Time = 0;
        double Upstream = 0, Downstream = 0; // vehicles per hour; not a number without its loop
    };
    // Picks the two loops among the detectors' positions; none for a road without a bottleneck.
    // Forgets the samples.
    void set_up(const std::vector<double>& positions, const Bottleneck& bottleneck);
    // The readings of the followed road for the interval ending at Time; another road starts afresh.
    void add(std::span<const LoopReading> readings, std::int32_t road, double Time);

    bool shown() const { return std::isfinite(UpstreamAt) || std::isfinite(DownstreamAt); }
    double upstream_at() const { return UpstreamAt; }
    double downstream_at() const { return DownstreamAt; }
    const std::deque<Sample>& samples() const { return Samples; }

  private:
    double UpstreamAt = std::numeric_limits<double>::quiet_NaN();
    double DownstreamAt = std::numeric_limits<double>::quiet_NaN();
    std::int32_t Road = -1;
    std::deque<Sample> Samples;
};

// What the panel adds for a road fed by an inflow: the flow at its bottleneck and the vehicles that
// arrived but wait to enter it.
struct InflowView {
    const BottleneckFlow* Flow = nullptr;
    std::int64_t Waiting = 0;
};

// Where the panel's parts go on a Width x Height screen: everything scales with the smaller of the
// screen's ratios to 640 x 480, never below 1.
struct PanelLayout {
    double Scale = 1;
    std::int32_t FontSize = 0, LineHeight = 0;
    std::int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;                 // the whole panel
    std::int32_t TextX = 0, TextY = 0;                           // top-left of the table
    std::int32_t PlotX1 = 0, PlotY1 = 0, PlotX2 = 0, PlotY2 = 0; // the plot's frame
    // The diagram's picture, right of the plot with its position labels before it, and the bar of
    // its colour scale below it.
    std::int32_t DiagramX1 = 0, DiagramY1 = 0, DiagramX2 = 0, DiagramY2 = 0;
    std::int32_t LegendY1 = 0, LegendY2 = 0;
    // The fundamental diagram's picture below the legend, as wide as the diagram, with its title
    // above it, its flow labels before it and its density labels below it.
    std::int32_t FundamentalY1 = 0, FundamentalY2 = 0;
    // The bottleneck's flow below the lanes' speeds, as wide, with its legend above it.
    std::int32_t FlowY1 = 0, FlowY2 = 0;
};
PanelLayout panel_layout(std::int32_t Width, std::int32_t Height);

// The plot's vertical range in km/h; the traffic drives between about 90 and 156.
// Rows of text above the plot, drawn as one text: lines a font size apart.
inline constexpr int kPanelRows = 7;

inline constexpr double kPlotLowKmh = 80.0, kPlotHighKmh = 160.0;
// What the diagrams' pictures are drawn on.
inline constexpr Rgb kDiagramBackground{16, 20, 28};

// The table for the figures (no figures yet: dashes), kPanelRows lines; with Waiting, a road fed by
// an inflow, the vehicles waiting to enter it instead of the spread. With automated vehicles, the
// plot's title line counts them.
std::string panel_table_text(const TrafficFigures* F, std::optional<std::int64_t> Waiting = std::nullopt);

// Lane colours of the plot and of the marks beside the table's lane rows.
PackedColor lane_colour(int lane);

// The diagram's title: which road it follows, and on a ring that positions go round it.
std::string diagram_title(std::int32_t Road, bool ring = false);

class TrafficPanel {
  public:
    // Draws into the current frame of the current engine; the texts and the texture are made at the
    // first draw.
    // With Fundamental and its parameters (the car-following model's), its diagram too.
    // With Inflow, the bottleneck's flow and the vehicles waiting.
    void Draw(const TrafficFigures* Latest, const SpeedHistory& History, const SpaceTimeHistory& Diagram,
              std::int32_t Width, std::int32_t Height, const FundamentalDiagram* Fundamental = nullptr,
              const IdmParameters* Parameters = nullptr, const InflowView* Inflow = nullptr);
    // Lets go of the texts and the texture, which belong to the engine's registry; before the engine
    // goes.
    void Release();

  private:
    void make_texts(const PanelLayout& L);
    void draw_diagram(const SpaceTimeHistory& Diagram, const PanelLayout& L);
    bool upload(const SpaceTimeHistory& Diagram);
    void draw_fundamental(const FundamentalDiagram& F, const IdmParameters& P, const PanelLayout& L);
    void draw_flow(const BottleneckFlow& Flow, const PanelLayout& L);

    std::unique_ptr<cls2dText> Table;
    std::unique_ptr<cls2dText> Labels;
    std::unique_ptr<cls2dText> DiagramTitle, DiagramLabels, LegendLow, LegendMid, LegendHigh;
    std::unique_ptr<cls2dText> FundamentalTitle, FundamentalFlow, FundamentalDensity;
    std::unique_ptr<cls2dText> FlowUpstream, FlowDownstream, FlowTitle, FlowLabels;
    std::unique_ptr<cls2dTexture> FundamentalTexture;
    RgbaImage FundamentalImage;
    std::uint64_t FundamentalRevision = 0;
    bool FundamentalShown = false;
    std::int32_t FontSize = 0;
    // The diagram's picture with the colour scale's bar in the rows below it, as one texture.
    std::unique_ptr<cls2dTexture> DiagramTexture;
    cls2dPicture DiagramPicture;
    RgbaImage DiagramImage;
    // The revision of the history the texture shows; none after a new texture.
    std::uint64_t ShownRevision = 0;
    bool Shown = false;
};

} // namespace kl
