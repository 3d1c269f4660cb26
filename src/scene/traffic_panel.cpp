// The panel's layout, texts and drawing. Everything is drawn every frame while the panel is on (the
// frame is cleared each time), from figures that change twice a second. Each 2D line, box, text and
// picture is a draw of its own, so the panel keeps to seven texts, seven boxes, about a hundred lines
// and two pictures: the diagram's thousands of trace segments go into a texture, sent again only when
// a sample came.
#include "scene/traffic_panel.h"

#include "engine/cls3d_engine.h"
#include "engine/mdl_main.h"
#include "platform/status.h"
#include "traffic/log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

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
    std::snprintf(buf, sizeof buf, "%4s%6s%7s%11s", a.c_str(), b.c_str(), c.c_str(), d.c_str());
    return buf;
}

// The texture: the diagram's rows, then the colour scale's bar from 0 at the left to its top at the
// right, a few rows high so that filtering never mixes the bar into the diagram's bottom row.
constexpr std::int32_t kBarRows = 8;
constexpr std::int32_t kTextureHeight = SpaceTimeHistory::Height + kBarRows;

std::string km_label(double metres) {
    return fixed_decimals(metres / 1000.0, 1);
}

// The plot's range: the open street's 80 to 160 km/h; on a ring, where the traffic crawls and stands,
// 0 to 80; on a road fed by an inflow, which runs freely and queues, 0 to 160.
struct PlotRange {
    double Low, High;
};
PlotRange plot_range(bool ring, bool inflow) {
    if (inflow) return {0.0, kPlotHighKmh};
    return ring ? PlotRange{0.0, 80.0} : PlotRange{kPlotLowKmh, kPlotHighKmh};
}

// The bottleneck's two loops: the one before it and the one past it.
const PackedColor kUpstreamColour = mdlMain::ColorRGB(235, 235, 235);
const PackedColor kDownstreamColour = mdlMain::ColorRGB(255, 140, 40);

std::int32_t plot_y(double kmh, const PanelLayout& L, const PlotRange& P) {
    const double k = std::clamp(kmh, P.Low, P.High);
    return L.PlotY2 - scaled((k - P.Low) / (P.High - P.Low), L.PlotY2 - L.PlotY1);
}

} // namespace

void SpeedHistory::add(const TrafficFigures& F) {
    Samples.push_back({F.Time, {F.Lanes[0].MeanSpeedKmh, F.Lanes[1].MeanSpeedKmh, F.Lanes[2].MeanSpeedKmh}});
    while (!Samples.empty() && Samples.front().Time < F.Time - Span)
        Samples.pop_front();
}

std::vector<SpeedHistory::Sample> SpeedHistory::plot_points() const {
    std::vector<Sample> points;
    std::array<double, 3> sum{};
    std::array<int, 3> count{};
    for (std::size_t i = 0; i < Samples.size(); ++i) {
        const Sample& s = Samples[i];
        for (std::size_t l = 0; l < 3; ++l) {
            if (!std::isfinite(s.Kmh[l])) continue;
            sum[l] += s.Kmh[l];
            ++count[l];
        }
        // Buckets are fixed in simulated time, so a point does not move as old samples drop out.
        const bool closes = i + 1 == Samples.size() || std::floor(Samples[i + 1].Time / PointSeconds) !=
                                                           std::floor(s.Time / PointSeconds);
        if (!closes) continue;
        Sample p{s.Time, {}};
        for (std::size_t l = 0; l < 3; ++l)
            p.Kmh[l] = count[l] > 0 ? sum[l] / count[l] : std::numeric_limits<double>::quiet_NaN();
        points.push_back(p);
        sum = {};
        count = {};
    }
    return points;
}

void BottleneckFlow::set_up(const std::vector<double>& positions, const Bottleneck& bottleneck) {
    Samples.clear();
    Road = -1;
    UpstreamAt = DownstreamAt = std::numeric_limits<double>::quiet_NaN();
    if (!(bottleneck.End > bottleneck.Start)) return;
    double nearest = std::numeric_limits<double>::infinity();
    for (const double p : positions) {
        if (p < bottleneck.Start) UpstreamAt = p;
        const double off = std::fabs(p - (bottleneck.End + Downstream));
        if (p > bottleneck.End && off < nearest) nearest = off, DownstreamAt = p;
    }
}

void BottleneckFlow::add(std::span<const LoopReading> readings, std::int32_t road, double Time) {
    if (!shown()) return;
    if (road != Road) {
        Samples.clear();
        Road = road;
    }
    Sample s{Time, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
    for (const LoopReading& r : readings) {
        if (r.Lane < 0 || r.Lane >= MainLanes) continue;
        double* flow = r.Position == UpstreamAt     ? &s.Upstream
                       : r.Position == DownstreamAt ? &s.Downstream
                                                    : nullptr;
        if (flow) *flow = std::isfinite(*flow) ? *flow + r.Flow : r.Flow;
    }
    Samples.push_back(s);
    while (Samples.front().Time < Time - Span)
        Samples.pop_front();
}

PanelLayout panel_layout(std::int32_t Width, std::int32_t Height) {
    PanelLayout L;
    L.Scale = std::max(1.0, std::min(Width / 640.0, Height / 480.0));
    const double s = L.Scale;
    L.FontSize = scaled(14, s);
    // A text's lines lie a cell height apart, and the font's cell height is its size.
    L.LineHeight = L.FontSize;
    const std::int32_t pad = scaled(6, s);
    // Below the status line, which keeps its 20 pixels at any screen size.
    L.X1 = 8;
    L.Y1 = 26;
    const std::int32_t left_column_end = L.X1 + scaled(260, s);
    L.TextX = L.X1 + pad;
    L.TextY = L.Y1 + pad;
    L.PlotX1 = L.TextX + scaled(30, s);
    L.PlotX2 = left_column_end - pad;
    L.PlotY1 = L.TextY + kPanelRows * L.LineHeight + L.LineHeight / 2 + pad;
    // Six lines high, so that one text with two blank lines between its labels puts them on the
    // heights 160, 120 and 80.
    L.PlotY2 = L.PlotY1 + 6 * L.LineHeight;

    // A title row, then the picture eight lines high for the same reason: labels at the top, middle
    // and bottom. At 640 x 480 it shows pixel for pixel.
    L.DiagramX1 = left_column_end + scaled(40, s);
    L.DiagramX2 = L.DiagramX1 + scaled(SpaceTimeHistory::Width, s);
    L.DiagramY1 = L.TextY + L.LineHeight + L.LineHeight / 2;
    L.DiagramY2 = L.DiagramY1 + 8 * L.LineHeight;
    L.LegendY1 = L.DiagramY2 + L.LineHeight / 2 + pad;
    L.LegendY2 = L.LegendY1 + scaled(kBarRows, s);
    L.X2 = L.DiagramX2 + pad;
    // Below the legend's labels: a title row, then the picture eight lines high, then its labels.
    L.FundamentalY1 = L.LegendY2 + scaled(2, s) + 2 * L.LineHeight + L.LineHeight / 2;
    L.FundamentalY2 = L.FundamentalY1 + 8 * L.LineHeight;
    // Below the lanes' speeds: a legend row, then six lines as the speeds have.
    L.FlowY1 = L.PlotY2 + 2 * L.LineHeight;
    L.FlowY2 = L.FlowY1 + 6 * L.LineHeight;
    L.Y2 =
        std::max({L.PlotY2 + L.LineHeight / 2, L.FundamentalY2 + L.LineHeight, L.FlowY2 + L.LineHeight / 2}) +
        pad;
    return L;
}

std::string panel_table_text(const TrafficFigures* F, std::optional<std::int64_t> Waiting) {
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
                            fixed_decimals(F->ChangesPerMinute, 0) + "/min");
        rows[5] = "spread " + one_decimal(F->SpreadMetres) + " m  at " + one_decimal(F->Time) + " s";
    } else {
        rows[4] = table_row("all", "-", "-", "-");
        rows[5] = "spread - m";
    }
    // On a road fed by an inflow the vehicles spread over all of it; those still to enter say more.
    if (Waiting)
        rows[5] = "waiting " + std::to_string(*Waiting) + (F ? "  at " + one_decimal(F->Time) + " s" : "");
    rows[6] = F && F->Automated > 0 ? "automated " + std::to_string(F->Automated) + ", km/h last 60 s"
                                    : "km/h per lane, last 60 s";
    std::string text;
    for (const std::string& row : rows)
        text += row + "\n";
    text.pop_back();
    return text;
}

std::string diagram_title(std::int32_t Road, bool ring) {
    if (Road < 0) return "no road to follow";
    return "road " + std::to_string(Road) +
           (ring ? ": m round the ring, last 60 s" : ": km along, last 60 s");
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
    // Bright for the figures and the title, grey for labels; horizontal alignment 0 left, 1 centred,
    // 2 right.
    const auto text = [&](bool bright, std::int32_t align) {
        auto t = std::make_unique<cls2dText>();
        t->SetFont("Liberation Mono", L.FontSize, false, false, false);
        t->SetColor(bright ? mdlMain::ColorRGB(235, 235, 235) : mdlMain::ColorRGB(170, 170, 170));
        t->SetFormat(align, 0);
        return t;
    };
    Table = text(true, 0);
    Labels = text(false, 2);
    DiagramTitle = text(true, 0);
    DiagramLabels = text(false, 2);
    LegendLow = text(false, 0);
    LegendMid = text(false, 1);
    LegendHigh = text(false, 2);
    FundamentalTitle = text(true, 0);
    FundamentalFlow = text(false, 2);
    FundamentalDensity = text(false, 0);
    FlowUpstream = text(true, 0);
    FlowUpstream->SetColor(kUpstreamColour);
    FlowDownstream = text(true, 2);
    FlowDownstream->SetColor(kDownstreamColour);
    FlowTitle = text(false, 1);
    FlowLabels = text(false, 2);
}

bool TrafficPanel::upload(const SpaceTimeHistory& Diagram) {
    if (!DiagramTexture || !DiagramTexture->GetTexture()) {
        DiagramTexture = std::make_unique<cls2dTexture>();
        if (!DiagramTexture->LoadForEdit(SpaceTimeHistory::Width, kTextureHeight)) return false;
        Shown = false;
    }
    if (Shown && ShownRevision == Diagram.revision()) return true;
    // Sending the picture makes the renderer finish what it has in hand first (some milliseconds on
    // a software renderer), which is why it goes only when a sample came: four times a second.
    Diagram.rasterise(DiagramImage, kDiagramBackground);
    const gfx::TexturePtr& tex = DiagramTexture->GetTexture();
    gfx::LockedRect locked;
    if (platform::Failed(tex->LockRect(0, &locked, nullptr, 0))) return false;
    if (locked.pBits == nullptr || locked.Pitch < SpaceTimeHistory::Width * 4) {
        IgnoreStatus(tex->UnlockRect(0), "the picture stays as it was");
        return false;
    }
    auto* bits = static_cast<std::uint8_t*>(locked.pBits);
    // The texture's bytes are blue, green, red, alpha.
    const auto write = [&](std::int32_t x, std::int32_t y, const std::uint8_t* rgba) {
        std::uint8_t* p = bits + static_cast<std::size_t>(y) * static_cast<std::size_t>(locked.Pitch) +
                          static_cast<std::size_t>(x) * 4;
        p[0] = rgba[2], p[1] = rgba[1], p[2] = rgba[0], p[3] = rgba[3];
    };
    for (std::int32_t y = 0; y < SpaceTimeHistory::Height; ++y)
        for (std::int32_t x = 0; x < SpaceTimeHistory::Width; ++x)
            write(x, y, DiagramImage.at(x, y));
    for (std::int32_t x = 0; x < SpaceTimeHistory::Width; ++x) {
        const Rgb c = speed_colour(kDiagramHighKmh * x / (SpaceTimeHistory::Width - 1));
        const std::uint8_t rgba[4] = {c[0], c[1], c[2], 255};
        for (std::int32_t y = SpaceTimeHistory::Height; y < kTextureHeight; ++y)
            write(x, y, rgba);
    }
    if (platform::Failed(tex->UnlockRect(0))) return false;
    ShownRevision = Diagram.revision();
    Shown = true;
    return true;
}

void TrafficPanel::draw_diagram(const SpaceTimeHistory& Diagram, const PanelLayout& L) {
    cls3dEngine* engine = CurrentEngine();
    const std::int32_t labels_x = L.DiagramX1 - scaled(40, L.Scale);
    DiagramTitle->SetPosition(labels_x, L.TextY, L.X2, L.DiagramY1);
    DiagramTitle->Render(diagram_title(Diagram.road(), Diagram.ring() > 0));

    if (upload(Diagram)) {
        const float h = static_cast<float>(kTextureHeight);
        DiagramPicture.SetPosition(L.DiagramX1, L.DiagramY1, L.DiagramX2, L.DiagramY2);
        DiagramPicture.SetPictureRange(0, 0, 1, SpaceTimeHistory::Height / h);
        DiagramPicture.Render(DiagramTexture.get());
        // Rows from the bar's middle only: it is the same all the way down.
        DiagramPicture.SetPosition(L.DiagramX1, L.LegendY1, L.DiagramX2, L.LegendY2);
        DiagramPicture.SetPictureRange(0, (SpaceTimeHistory::Height + 2) / h, 1, (kTextureHeight - 2) / h);
        DiagramPicture.Render(DiagramTexture.get());
    }
    engine->Render2dBox(L.DiagramX1, L.DiagramY1, L.DiagramX2, L.DiagramY2, false,
                        mdlMain::ColorRGB(150, 150, 150));

    if (!Diagram.samples().empty()) {
        const SpaceTimeHistory::Range R = Diagram.range();
        DiagramLabels->SetPosition(labels_x, L.DiagramY1 - L.LineHeight / 2, L.DiagramX1 - scaled(3, L.Scale),
                                   L.DiagramY2 + L.LineHeight);
        // A ring's few hundred metres in metres.
        const auto label = [&](double m) { return Diagram.ring() > 0 ? fixed_decimals(m, 0) : km_label(m); };
        DiagramLabels->Render(label(R.High) + "\n\n\n\n" + label((R.Low + R.High) / 2) + "\n\n\n\n" +
                              label(R.Low));
    }
    const std::int32_t y = L.LegendY2 + scaled(2, L.Scale), y2 = y + L.LineHeight;
    const std::int32_t mid =
        L.DiagramX1 + scaled(kDiagramMidKmh / kDiagramHighKmh * SpaceTimeHistory::Width, L.Scale);
    LegendLow->SetPosition(L.DiagramX1, y, L.DiagramX2, y2);
    LegendLow->Render("0");
    LegendMid->SetPosition(2 * mid - L.DiagramX2, y, L.DiagramX2, y2);
    LegendMid->Render(fixed_decimals(kDiagramMidKmh, 0) + " km/h");
    LegendHigh->SetPosition(L.DiagramX1, y, L.DiagramX2, y2);
    LegendHigh->Render(fixed_decimals(kDiagramHighKmh, 0));
}

void TrafficPanel::draw_fundamental(const FundamentalDiagram& F, const IdmParameters& P,
                                    const PanelLayout& L) {
    cls3dEngine* engine = CurrentEngine();
    const std::int32_t labels_x = L.DiagramX1 - scaled(40, L.Scale);
    FundamentalTitle->SetPosition(labels_x, L.FundamentalY1 - L.LineHeight - L.LineHeight / 2, L.X2,
                                  L.FundamentalY1);
    FundamentalTitle->Render("veh/h/lane by veh/km/lane, 10 min");
    const double length = mean_vehicle_length(VehicleLengths{});
    if (!FundamentalTexture || !FundamentalTexture->GetTexture()) {
        FundamentalTexture = std::make_unique<cls2dTexture>();
        if (!FundamentalTexture->LoadForEdit(FundamentalDiagram::Width, FundamentalDiagram::Height)) return;
        FundamentalShown = false;
    }
    bool ready = FundamentalShown && FundamentalRevision == F.revision();
    if (!ready) {
        F.rasterise(FundamentalImage, kDiagramBackground, P, length);
        const gfx::TexturePtr& tex = FundamentalTexture->GetTexture();
        gfx::LockedRect locked;
        if (platform::Succeeded(tex->LockRect(0, &locked, nullptr, 0))) {
            if (locked.pBits != nullptr && locked.Pitch >= FundamentalDiagram::Width * 4) {
                auto* bits = static_cast<std::uint8_t*>(locked.pBits);
                for (std::int32_t y = 0; y < FundamentalDiagram::Height; ++y)
                    for (std::int32_t x = 0; x < FundamentalDiagram::Width; ++x) {
                        const std::uint8_t* rgba = FundamentalImage.at(x, y);
                        std::uint8_t* p =
                            bits + static_cast<std::size_t>(y) * static_cast<std::size_t>(locked.Pitch) +
                            static_cast<std::size_t>(x) * 4;
                        p[0] = rgba[2], p[1] = rgba[1], p[2] = rgba[0], p[3] = rgba[3];
                    }
                ready = true;
            }
            if (platform::Failed(tex->UnlockRect(0))) ready = false;
        }
        FundamentalShown = ready;
        FundamentalRevision = F.revision();
    }
    if (ready) {
        DiagramPicture.SetPosition(L.DiagramX1, L.FundamentalY1, L.DiagramX2, L.FundamentalY2);
        DiagramPicture.SetPictureRange(0, 0, 1, 1);
        DiagramPicture.Render(FundamentalTexture.get());
    }
    engine->Render2dBox(L.DiagramX1, L.FundamentalY1, L.DiagramX2, L.FundamentalY2, false,
                        mdlMain::ColorRGB(150, 150, 150));
    const FundamentalDiagram::Axes A = F.axes(P, length);
    FundamentalFlow->SetPosition(labels_x, L.FundamentalY1 - L.LineHeight / 2,
                                 L.DiagramX1 - scaled(3, L.Scale), L.FundamentalY2 + L.LineHeight);
    FundamentalFlow->Render(fixed_decimals(A.Flow, 0) + "\n\n\n\n" + fixed_decimals(A.Flow / 2, 0) +
                            "\n\n\n\n0");
    FundamentalDensity->SetPosition(L.DiagramX1, L.FundamentalY2 + scaled(2, L.Scale), L.DiagramX2,
                                    L.FundamentalY2 + scaled(2, L.Scale) + L.LineHeight);
    FundamentalDensity->Render("0   veh/km/lane");
    // The legend's right-aligned text, once more where the density axis ends.
    LegendHigh->SetPosition(L.DiagramX1, L.FundamentalY2 + scaled(2, L.Scale), L.DiagramX2,
                            L.FundamentalY2 + scaled(2, L.Scale) + L.LineHeight);
    LegendHigh->Render(fixed_decimals(A.Density, 0));
}

void TrafficPanel::draw_flow(const BottleneckFlow& Flow, const PanelLayout& L) {
    cls3dEngine* engine = CurrentEngine();
    const std::int32_t title_y = L.FlowY1 - L.LineHeight - L.LineHeight / 4;
    const auto at = [](double metres) {
        // Loops lie on whole quarters of a kilometre.
        return std::isfinite(metres) ? fixed_decimals(metres / 1000.0, 2) + " km" : std::string("-");
    };
    FlowUpstream->SetPosition(L.PlotX1, title_y, L.PlotX2, L.FlowY1);
    FlowUpstream->Render(at(Flow.upstream_at()));
    FlowDownstream->SetPosition(L.PlotX1, title_y, L.PlotX2, L.FlowY1);
    FlowDownstream->Render(at(Flow.downstream_at()));
    FlowTitle->SetPosition(L.PlotX1, title_y, L.PlotX2, L.FlowY1);
    FlowTitle->Render("veh/h 30 min");

    // Up to a round number of thousands a little above the highest flow, halved by the middle label.
    double top = 0;
    for (const BottleneckFlow::Sample& s : Flow.samples())
        for (const double f : {s.Upstream, s.Downstream})
            if (std::isfinite(f)) top = std::max(top, f);
    top = std::max(2000.0, std::ceil(top * 1.05 / 2000.0) * 2000.0);
    const auto y_of = [&](double flow) {
        return L.FlowY2 - scaled(std::clamp(flow / top, 0.0, 1.0), L.FlowY2 - L.FlowY1);
    };
    for (const double f : {top / 4, top / 2, 3 * top / 4})
        engine->Render2dLine(L.PlotX1, y_of(f), L.PlotX2, y_of(f), mdlMain::ColorRGB(60, 66, 78));
    engine->Render2dBox(L.PlotX1, L.FlowY1, L.PlotX2, L.FlowY2, false, mdlMain::ColorRGB(150, 150, 150));
    FlowLabels->SetPosition(L.TextX, L.FlowY1 - L.LineHeight / 2, L.PlotX1 - scaled(3, L.Scale), L.Y2);
    FlowLabels->Render(fixed_decimals(top / 1000, 0) + "k\n\n\n" + fixed_decimals(top / 2000, 0) +
                       "k\n\n\n0");

    const auto& samples = Flow.samples();
    if (samples.size() < 2) return;
    const double start = samples.back().Time - BottleneckFlow::Span;
    const double width = L.PlotX2 - L.PlotX1;
    const auto x_of = [&](double t) {
        return L.PlotX1 + static_cast<std::int32_t>(std::lround((t - start) / BottleneckFlow::Span * width));
    };
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const BottleneckFlow::Sample &a = samples[i - 1], &b = samples[i];
        if (std::isfinite(a.Upstream) && std::isfinite(b.Upstream))
            engine->Render2dLine(x_of(a.Time), y_of(a.Upstream), x_of(b.Time), y_of(b.Upstream),
                                 kUpstreamColour);
        if (std::isfinite(a.Downstream) && std::isfinite(b.Downstream))
            engine->Render2dLine(x_of(a.Time), y_of(a.Downstream), x_of(b.Time), y_of(b.Downstream),
                                 kDownstreamColour);
    }
}

void TrafficPanel::Draw(const TrafficFigures* Latest, const SpeedHistory& History,
                        const SpaceTimeHistory& Diagram, std::int32_t Width, std::int32_t Height,
                        const FundamentalDiagram* Fundamental, const IdmParameters* Parameters,
                        const InflowView* Inflow) {
    cls3dEngine* engine = CurrentEngine();
    if (engine == nullptr) return;
    const PanelLayout L = panel_layout(Width, Height);
    make_texts(L);

    engine->Render2dBox(L.X1, L.Y1, L.X2, L.Y2, true, mdlMain::ColorRGB(16, 20, 28));
    engine->Render2dBox(L.X1, L.Y1, L.X2, L.Y2, false, mdlMain::ColorRGB(150, 150, 150));

    Table->SetPosition(L.TextX, L.TextY, L.X2, L.PlotY1);
    Table->Render(
        panel_table_text(Latest, Inflow ? std::optional<std::int64_t>(Inflow->Waiting) : std::nullopt));
    const std::int32_t mark = scaled(8, L.Scale), inset = scaled(3, L.Scale);
    for (int l = 0; l < 3; ++l) {
        const std::int32_t y = L.TextY + (l + 1) * L.LineHeight;
        engine->Render2dBox(L.TextX, y + inset, L.TextX + mark, y + L.LineHeight - inset, true,
                            lane_colour(l));
    }

    const PlotRange range = plot_range(Diagram.ring() > 0, Diagram.road_length() > 0);
    const double step = (range.High - range.Low) / 4;
    for (const double kmh : {range.Low + step, range.Low + 2 * step, range.Low + 3 * step}) {
        const std::int32_t y = plot_y(kmh, L, range);
        engine->Render2dLine(L.PlotX1, y, L.PlotX2, y, mdlMain::ColorRGB(60, 66, 78));
    }
    engine->Render2dBox(L.PlotX1, L.PlotY1, L.PlotX2, L.PlotY2, false, mdlMain::ColorRGB(150, 150, 150));
    Labels->SetPosition(L.TextX, L.PlotY1 - L.LineHeight / 2, L.PlotX1 - scaled(3, L.Scale), L.Y2);
    Labels->Render(fixed_decimals(range.High, 0) + "\n\n\n" + fixed_decimals(range.Low + 2 * step, 0) +
                   "\n\n\n" + fixed_decimals(range.Low, 0));
    draw_diagram(Diagram, L);
    if (Fundamental && Parameters) draw_fundamental(*Fundamental, *Parameters, L);
    if (Inflow && Inflow->Flow && Inflow->Flow->shown()) draw_flow(*Inflow->Flow, L);

    const std::vector<SpeedHistory::Sample> points = History.plot_points();
    if (points.size() < 2) return;
    // Time runs from 60 s before the latest window at the left to the latest at the right.
    const double start = points.back().Time - SpeedHistory::Span;
    const double width = L.PlotX2 - L.PlotX1;
    auto x_of = [&](double t) {
        return L.PlotX1 + static_cast<std::int32_t>(std::lround((t - start) / SpeedHistory::Span * width));
    };
    for (std::size_t lane = 0; lane < 3; ++lane) {
        const PackedColor colour = lane_colour(static_cast<int>(lane));
        for (std::size_t i = 1; i < points.size(); ++i) {
            const double a = points[i - 1].Kmh[lane], b = points[i].Kmh[lane];
            // An empty lane has no mean: the line breaks there.
            if (!std::isfinite(a) || !std::isfinite(b)) continue;
            engine->Render2dLine(x_of(points[i - 1].Time), plot_y(a, L, range), x_of(points[i].Time),
                                 plot_y(b, L, range), colour);
        }
    }
}

void TrafficPanel::Release() {
    Table.reset();
    Labels.reset();
    DiagramTitle.reset();
    DiagramLabels.reset();
    LegendLow.reset();
    LegendMid.reset();
    LegendHigh.reset();
    FontSize = 0;
    DiagramTexture.reset();
    Shown = false;
    FundamentalTitle.reset();
    FundamentalFlow.reset();
    FundamentalDensity.reset();
    FundamentalTexture.reset();
    FundamentalShown = false;
    FlowUpstream.reset();
    FlowDownstream.reset();
    FlowTitle.reset();
    FlowLabels.reset();
}

} // namespace kl
