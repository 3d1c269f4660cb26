// The panel's layout, texts and drawing. Everything is drawn every frame while the panel is on (the
// frame is cleared each time), from figures that change twice a second.
#include "scene/traffic_panel.h"

#include "engine/cls3d_engine.h"
#include "engine/mdl_main.h"
#include "scene/traffic_log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kl {

namespace {

std::int32_t scaled(double value, double scale) {
    return static_cast<std::int32_t>(std::lround(value * scale));
}

std::string one_decimal(double value) {
    const std::string text = fixed_decimals(value, 1);
    return text.empty() ? "-" : text;
}

// A row of the monospaced table: lane, vehicles, km/h, changes.
std::string table_row(const std::string& a, const std::string& b, const std::string& c,
                      const std::string& d) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%4s%6s%7s%9s", a.c_str(), b.c_str(), c.c_str(), d.c_str());
    return buf;
}

std::int32_t plot_y(double kmh, const PanelLayout& L) {
    const double k = std::clamp(kmh, kPlotLowKmh, kPlotHighKmh);
    return L.PlotY2 - scaled((k - kPlotLowKmh) / (kPlotHighKmh - kPlotLowKmh), L.PlotY2 - L.PlotY1);
}

} // namespace

void SpeedHistory::add(const TrafficFigures& F) {
    Samples.push_back({F.Time, {F.Lanes[0].MeanSpeedKmh, F.Lanes[1].MeanSpeedKmh, F.Lanes[2].MeanSpeedKmh}});
    while (!Samples.empty() && Samples.front().Time < F.Time - Span)
        Samples.pop_front();
}

PanelLayout panel_layout(std::int32_t Width, std::int32_t Height) {
    PanelLayout L;
    L.Scale = std::max(1.0, std::min(Width / 640.0, Height / 480.0));
    const double s = L.Scale;
    L.FontSize = scaled(14, s);
    L.LineHeight = scaled(17, s);
    const std::int32_t pad = scaled(6, s);
    // Below the status line, which keeps its 20 pixels at any screen size.
    L.X1 = 8;
    L.Y1 = 26;
    L.X2 = L.X1 + scaled(260, s);
    L.TextX = L.X1 + pad;
    L.TextY = L.Y1 + pad;
    L.PlotX1 = L.TextX + scaled(30, s);
    L.PlotX2 = L.X2 - pad;
    L.PlotY1 = L.TextY + kPanelRows * L.LineHeight + L.LineHeight / 2;
    L.PlotY2 = L.PlotY1 + scaled(96, s);
    L.Y2 = L.PlotY2 + L.LineHeight + pad;
    return L;
}

std::array<std::string, kPanelRows> panel_table_rows(const TrafficFigures* F) {
    std::array<std::string, kPanelRows> rows;
    rows[0] = table_row("lane", "cars", "km/h", "changes");
    for (int l = 0; l < 3; ++l) {
        const LaneFigures* lane = F ? &F->Lanes[static_cast<std::size_t>(l)] : nullptr;
        rows[static_cast<std::size_t>(l) + 1] = table_row(
            std::to_string(l), lane ? std::to_string(lane->Vehicles) : "-",
            lane ? one_decimal(lane->MeanSpeedKmh) : "-", lane ? std::to_string(lane->ChangesIn) : "-");
    }
    if (F) {
        const std::int32_t all = F->Lanes[0].Vehicles + F->Lanes[1].Vehicles + F->Lanes[2].Vehicles;
        rows[4] = table_row("all", std::to_string(all), one_decimal(F->MeanSpeedKmh),
                            one_decimal(F->ChangesPerMinute) + "/min");
        rows[5] = "spread " + one_decimal(F->SpreadMetres) + " m  at " + one_decimal(F->Time) + " s";
    } else {
        rows[4] = table_row("all", "-", "-", "-");
        rows[5] = "spread - m";
    }
    rows[6] = "km/h per lane, last 60 s";
    return rows;
}

PackedColor lane_colour(int lane) {
    switch (lane) {
    case 0:
        return mdlMain::ColorRGB(255, 200, 40);
    case 1:
        return mdlMain::ColorRGB(80, 200, 255);
    default:
        return mdlMain::ColorRGB(255, 90, 200);
    }
}

void TrafficPanel::make_texts(const PanelLayout& L) {
    if (Table && FontSize == L.FontSize) return;
    FontSize = L.FontSize;
    Table = std::make_unique<cls2dText>();
    Table->SetFont("Liberation Mono", L.FontSize, false, false, false);
    Table->SetColor(mdlMain::ColorRGB(235, 235, 235));
    Labels = std::make_unique<cls2dText>();
    Labels->SetFont("Liberation Mono", L.FontSize, false, false, false);
    Labels->SetColor(mdlMain::ColorRGB(170, 170, 170));
}

void TrafficPanel::Draw(const TrafficFigures* Latest, const SpeedHistory& History, std::int32_t Width,
                        std::int32_t Height) {
    cls3dEngine* engine = CurrentEngine();
    if (engine == nullptr) return;
    const PanelLayout L = panel_layout(Width, Height);
    make_texts(L);

    engine->Render2dBox(L.X1, L.Y1, L.X2, L.Y2, true, mdlMain::ColorRGB(16, 20, 28));
    engine->Render2dBox(L.X1, L.Y1, L.X2, L.Y2, false, mdlMain::ColorRGB(150, 150, 150));

    const auto rows = panel_table_rows(Latest);
    for (int i = 0; i < kPanelRows; ++i) {
        const std::int32_t y = L.TextY + i * L.LineHeight;
        Table->SetPosition(L.TextX, y, L.X2, y + L.LineHeight);
        Table->Render(rows[static_cast<std::size_t>(i)]);
    }
    const std::int32_t mark = scaled(8, L.Scale), inset = scaled(4, L.Scale);
    for (int l = 0; l < 3; ++l) {
        const std::int32_t y = L.TextY + (l + 1) * L.LineHeight;
        engine->Render2dBox(L.TextX, y + inset, L.TextX + mark, y + L.LineHeight - inset, true,
                            lane_colour(l));
    }

    for (const double kmh : {100.0, 120.0, 140.0}) {
        const std::int32_t y = plot_y(kmh, L);
        engine->Render2dLine(L.PlotX1, y, L.PlotX2, y, mdlMain::ColorRGB(60, 66, 78));
    }
    engine->Render2dBox(L.PlotX1, L.PlotY1, L.PlotX2, L.PlotY2, false, mdlMain::ColorRGB(150, 150, 150));
    Labels->SetFormat(2, 1);
    for (const double kmh : {kPlotHighKmh, 120.0, kPlotLowKmh}) {
        const std::int32_t y = plot_y(kmh, L);
        Labels->SetPosition(L.TextX, y - L.LineHeight / 2, L.PlotX1 - scaled(3, L.Scale),
                            y + L.LineHeight / 2);
        Labels->Render(std::to_string(static_cast<int>(kmh)));
    }
    Labels->SetFormat(0, 0);
    Labels->SetPosition(L.PlotX1, L.PlotY2 + 1, L.PlotX2, L.PlotY2 + 1 + L.LineHeight);
    Labels->Render("-60 s");
    Labels->SetFormat(2, 0);
    Labels->Render("now");

    const auto& samples = History.samples();
    if (samples.size() < 2) return;
    const double end = samples.back().Time, start = end - SpeedHistory::Span;
    const double width = L.PlotX2 - L.PlotX1;
    auto x_of = [&](double t) {
        return L.PlotX1 + static_cast<std::int32_t>(std::lround((t - start) / SpeedHistory::Span * width));
    };
    for (std::size_t lane = 0; lane < 3; ++lane) {
        const PackedColor colour = lane_colour(static_cast<int>(lane));
        for (std::size_t i = 1; i < samples.size(); ++i) {
            const double a = samples[i - 1].Kmh[lane], b = samples[i].Kmh[lane];
            // An empty lane has no mean: the line breaks there.
            if (!std::isfinite(a) || !std::isfinite(b)) continue;
            engine->Render2dLine(x_of(samples[i - 1].Time), plot_y(a, L), x_of(samples[i].Time), plot_y(b, L),
                                 colour);
        }
    }
}

void TrafficPanel::Release() {
    Table.reset();
    Labels.reset();
    FontSize = 0;
}

} // namespace kl
