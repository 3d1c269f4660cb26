// The traffic statistics panel: the latest figures as a small table and the mean speed of each lane
// over the last 60 seconds as a line plot, drawn on top of the status line with the engine's 2D
// boxes and lines and a text of its own.
#pragma once

#include "overlay/cls2d_text.h"
#include "traffic/statistics.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
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

// Where the panel's parts go on a Width x Height screen: everything scales with the smaller of the
// screen's ratios to 640 x 480, never below 1.
struct PanelLayout {
    double Scale = 1;
    std::int32_t FontSize = 0, LineHeight = 0;
    std::int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;                 // the whole panel
    std::int32_t TextX = 0, TextY = 0;                           // top-left of the table
    std::int32_t PlotX1 = 0, PlotY1 = 0, PlotX2 = 0, PlotY2 = 0; // the plot's frame
};
PanelLayout panel_layout(std::int32_t Width, std::int32_t Height);

// The plot's vertical range in km/h; the traffic drives between about 90 and 156.
// Rows of text above the plot, drawn as one text: lines a font size apart.
inline constexpr int kPanelRows = 7;

inline constexpr double kPlotLowKmh = 80.0, kPlotHighKmh = 160.0;

// The table for the figures (no figures yet: dashes), kPanelRows lines.
std::string panel_table_text(const TrafficFigures* F);

// Lane colours of the plot and of the marks beside the table's lane rows.
PackedColor lane_colour(int lane);

class TrafficPanel {
  public:
    // Draws into the current frame of the current engine; the texts are made at the first draw.
    void Draw(const TrafficFigures* Latest, const SpeedHistory& History, std::int32_t Width,
              std::int32_t Height);
    // Lets go of the texts, which belong to the engine's registry; before the engine goes.
    void Release();

  private:
    void make_texts(const PanelLayout& L);

    std::unique_ptr<cls2dText> Table;
    std::unique_ptr<cls2dText> Labels;
    std::int32_t FontSize = 0;
};

} // namespace kl
