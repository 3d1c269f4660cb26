// The traffic watcher inside the frame loop on the recording back-end: figures every frame-rate
// window, the log, the panel toggled by F2 and kept on the screen, the dump when RunScene ends.
#include "scene/scene_fixture.h"
#include "scene/traffic_panel.h"
#include "scene/traffic_watch.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>
#include <tuple>

namespace kl {
namespace {

using TrafficWatchTest = test::SceneTest;

// The 2D lines of the last frame (line lists: only the panel draws them).
std::vector<gfx::Call> lines(const gfx::CallLog& frame) {
    return frame.Find("DrawPrimitiveUP", {static_cast<double>(gfx::PtLineList)});
}

int log_lines(const std::ostringstream& log) {
    const std::string text = log.str();
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(TrafficPanelLayout, FitsBelowTheStatusLineAndGrowsWithTheScreen) {
    const PanelLayout small = panel_layout(640, 480), big = panel_layout(1920, 1080);
    for (const auto& [L, w, h] : {std::tuple{small, 640, 480}, std::tuple{big, 1920, 1080}}) {
        EXPECT_GE(L.Y1, 20);
        EXPECT_LT(L.X2, w);
        EXPECT_LT(L.Y2, h);
        EXPECT_LE(L.TextY + kPanelRows * L.LineHeight, L.PlotY1 - L.LineHeight / 2);
        EXPECT_TRUE(L.X1 < L.PlotX1 && L.PlotX1 < L.PlotX2 && L.PlotX2 < L.X2);
        // The diagram right of the table and the plot, with room for its labels, title and legend.
        EXPECT_TRUE(L.PlotX2 + 3 * L.FontSize / 2 < L.DiagramX1 && L.DiagramX1 < L.DiagramX2 &&
                    L.DiagramX2 < L.X2);
        EXPECT_TRUE(L.TextY + L.LineHeight <= L.DiagramY1 - L.LineHeight / 2 && L.DiagramY2 < L.LegendY1 &&
                    L.LegendY1 < L.LegendY2 && L.LegendY2 + L.LineHeight < L.Y2);
        // Room for the half of the lowest label that hangs below the plot.
        EXPECT_LE(L.PlotY2 + L.LineHeight / 2, L.Y2);
        // The fundamental diagram below the legend's labels with its title, its labels under it.
        EXPECT_TRUE(L.LegendY2 + 2 * L.LineHeight < L.FundamentalY1 && L.FundamentalY1 < L.FundamentalY2 &&
                    L.FundamentalY2 + L.LineHeight < L.Y2);
    }
    EXPECT_EQ(small.FontSize, 14);
    EXPECT_GE(big.FontSize, 2 * small.FontSize);
    // A screen smaller than 640 x 480 keeps the smallest legible size.
    EXPECT_EQ(panel_layout(320, 240).FontSize, 14);
}

TEST(SpeedHistory, KeepsAMinuteAndAveragesItIntoTwoSecondPoints) {
    SpeedHistory history;
    for (int i = 0; i <= 122; ++i) {
        TrafficFigures F;
        F.Time = 0.5 * i;
        F.Lanes[0].MeanSpeedKmh = F.Time;
        // Lane 1 empty from 20 s to just before 24 s.
        F.Lanes[1].MeanSpeedKmh = F.Time >= 20 && F.Time < 24 ? std::nan("") : 100.0;
        F.Lanes[2].MeanSpeedKmh = i == 60 ? std::nan("") : 150.0;
        history.add(F);
    }
    // 61 s back to 1 s.
    EXPECT_EQ(history.samples().front().Time, 1.0);
    EXPECT_EQ(history.samples().size(), 121u);
    const auto points = history.plot_points();
    // Buckets [0, 2) (from 1 s on) to [60, 62) (up to 61 s).
    ASSERT_EQ(points.size(), 31u);
    EXPECT_EQ(points[0].Time, 1.5);
    EXPECT_EQ(points[0].Kmh[0], 1.25);
    EXPECT_EQ(points[1].Kmh[0], 2.75);
    EXPECT_EQ(points.back().Time, 61.0);
    EXPECT_EQ(points.back().Kmh[0], 60.5);
    EXPECT_TRUE(std::isnan(points[10].Kmh[1]) && std::isnan(points[11].Kmh[1]));
    EXPECT_EQ(points[12].Kmh[1], 100.0);
    // One empty window does not empty its bucket.
    EXPECT_EQ(points[15].Kmh[2], 150.0);
}

TEST_F(TrafficWatchTest, FiguresAndLogRowsEveryWindowAndThePanelOnlyAfterF2) {
    std::ostringstream log;
    scene::TrafficWatch watch(&log, nullptr);
    S.Observer = &watch;
    set_up(2);

    // Ten frames of a quarter second: a window closes every second frame; nothing is drawn.
    for (int i = 0; i < 10; ++i)
        frame(0.25);
    EXPECT_TRUE(lines(last_frame()).empty());
    ASSERT_TRUE(watch.latest().has_value());
    const TrafficFigures& F = *watch.latest();
    EXPECT_EQ(F.Lanes[0].Vehicles + F.Lanes[1].Vehicles + F.Lanes[2].Vehicles, 120);
    // Seconds simulated before the last window closed, in the tenth frame: nine frames.
    EXPECT_EQ(F.Time, 2.25);
    EXPECT_EQ(log_lines(log), 1 + 5);

    // F2 pressed and held: on once, stays on.
    frame(0.25, {scene::kPanelKey});
    EXPECT_TRUE(watch.panel_on());
    frame(0.25, {scene::kPanelKey});
    EXPECT_TRUE(watch.panel_on());
    for (int i = 0; i < 10; ++i)
        frame(0.25);
    // Eleven windows, at 0.25 s and every half second after: three points of two seconds a lane, so
    // two segments a lane besides the three grid lines.
    EXPECT_EQ(log_lines(log) - 1, 11);
    EXPECT_EQ(lines(last_frame()).size(), 3u + 3u * 2u);
    for (const gfx::Call& c : last_frame().Find("DrawPrimitiveUP"))
        for (const ScreenVertex& v : c.DataAs<ScreenVertex>()) {
            EXPECT_TRUE(v.x >= 0 && v.x < 800 && v.y >= 0 && v.y < 600) << v.x << ", " << v.y;
        }

    // Pressed again: off.
    frame(0.25, {scene::kPanelKey});
    EXPECT_FALSE(watch.panel_on());
    frame(0.25);
    EXPECT_TRUE(lines(last_frame()).empty());
}

TEST_F(TrafficWatchTest, PlotsEachLaneInItsColourInsideThePlot) {
    scene::TrafficWatch watch(nullptr, nullptr);
    S.Observer = &watch;
    set_up(1);
    frame(0.25, {scene::kPanelKey});
    for (int i = 0; i < 59; ++i)
        frame(0.25);
    const PanelLayout L = panel_layout(800, 600);
    std::array<int, 3> segments{};
    for (const gfx::Call& c : lines(last_frame())) {
        const auto v = c.DataAs<ScreenVertex>();
        ASSERT_EQ(v.size(), 2u);
        for (int lane = 0; lane < 3; ++lane) {
            if (v[0].color != lane_colour(lane)) continue;
            ++segments[static_cast<std::size_t>(lane)];
            for (const ScreenVertex& p : v) {
                const double x = p.x, y = p.y;
                EXPECT_TRUE(x >= L.PlotX1 && x <= L.PlotX2 && y >= L.PlotY1 && y <= L.PlotY2)
                    << x << ", " << y;
            }
        }
    }
    // Thirty windows in fifteen seconds: eight two-second points, seven segments a lane.
    EXPECT_EQ(segments, (std::array<int, 3>{7, 7, 7}));

    // The diagram follows the user's road, a sample a quarter second, and shows as a textured
    // rectangle in its place.
    EXPECT_EQ(watch.diagram().road(), 0);
    EXPECT_EQ(watch.diagram().samples().size(), 60u);
    double texture = 0;
    int diagrams = 0;
    const gfx::CallLog frame_log = last_frame();
    for (const gfx::Call& c : frame_log.Calls()) {
        if (c.name == "SetTexture") texture = c.args[1];
        if (c.name != "DrawPrimitiveUP" || c.args[0] != static_cast<double>(gfx::PtTriangleStrip)) continue;
        const auto v = c.DataAs<ScreenVertex>();
        const auto at = [&](std::size_t i, std::int32_t x, std::int32_t y) {
            return static_cast<double>(v[i].x) == x && static_cast<double>(v[i].y) == y;
        };
        diagrams += texture != 0 && v.size() == 4 && at(0, L.DiagramX1, L.DiagramY1) &&
                    at(3, L.DiagramX2, L.DiagramY2);
    }
    EXPECT_EQ(diagrams, 1);
}

TEST_F(TrafficWatchTest, DumpsTheTablesWhenTheSceneEnds) {
    platform::FixedStepCounter fixed{0.25};
    mdlKl::Program().Engine->SetPerformanceCounter(fixed);
    std::ostringstream dump;
    scene::TrafficWatch watch(nullptr, &dump);
    scene::SceneHooks hooks;
    hooks.MaxFrames = 30;
    hooks.Observer = &watch;
    scene::RunScene(mdlKl::Program(), {1}, hooks);
    EXPECT_TRUE(watch.dumped());
    EXPECT_EQ(dump.str().rfind("{\"RoadCount\": 1, \"frames\": 30, \"LastFrameTime\": 0.25,", 0), 0u)
        << dump.str().substr(0, 80);
}

} // namespace
} // namespace kl
