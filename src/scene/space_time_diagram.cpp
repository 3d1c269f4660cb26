// The history holds at most one sample a column, so drawing it costs the same whatever the frame rate:
// about 240 x 60 short segments, done only when a sample came.
#include "scene/space_time_diagram.h"

#include "traffic/statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace kl {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kRangeStep = 200.0;

std::uint8_t mix(std::uint8_t a, std::uint8_t b, double w) {
    return static_cast<std::uint8_t>(std::lround(a + (b - a) * w));
}

Rgb mix(const Rgb& a, const Rgb& b, double w) {
    return {mix(a[0], b[0], w), mix(a[1], b[1], w), mix(a[2], b[2], w)};
}

void put(RgbaImage& I, std::int32_t x, std::int32_t y, const Rgb& c) {
    if (x < 0 || y < 0 || x >= I.Width || y >= I.Height) return;
    std::uint8_t* p = I.at(x, y);
    p[0] = c[0], p[1] = c[1], p[2] = c[2], p[3] = 255;
}

// Bresenham; both ends are inside the picture, so a segment costs at most its longer side.
void segment(RgbaImage& I, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, const Rgb& c) {
    const std::int32_t dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const std::int32_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    std::int32_t err = dx + dy;
    for (;;) {
        put(I, x0, y0, c);
        if (x0 == x1 && y0 == y1) return;
        const std::int32_t e2 = 2 * err;
        if (e2 >= dy) err += dy, x0 += sx;
        if (e2 <= dx) err += dx, y0 += sy;
    }
}

} // namespace

RgbaImage::RgbaImage(std::int32_t width, std::int32_t height)
    : Width(width), Height(height),
      Pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {}

Rgb speed_colour(double kmh) {
    static constexpr Rgb red{215, 40, 40}, yellow{235, 215, 50}, green{50, 200, 70};
    if (!(kmh > 0)) return red;
    if (kmh < kDiagramMidKmh) return mix(red, yellow, kmh / kDiagramMidKmh);
    if (kmh < kDiagramHighKmh)
        return mix(yellow, green, (kmh - kDiagramMidKmh) / (kDiagramHighKmh - kDiagramMidKmh));
    return green;
}

SpaceTimeHistory::Sample SpaceTimeHistory::sample_of(const VehicleList& List, std::int32_t Road,
                                                     double Time) {
    Sample S;
    S.Time = Time;
    S.Metres.fill(kNaN);
    S.Kmh.fill(kNaN);
    for (const Vehicle& v : List.road(Road)) {
        if (v.Id < 0 || v.Id >= Vehicles) continue;
        const auto i = static_cast<std::size_t>(v.Id);
        S.Metres[i] = std::isfinite(v.Position) ? v.Position : kNaN;
        S.Kmh[i] = v.Speed * 3.6;
    }
    return S;
}

void SpaceTimeHistory::follow(const VehicleList& List, std::int32_t road, double Time) {
    if (road != Road) {
        Samples.clear();
        Road = road;
        ++Revision;
    }
    if (road >= 0 && road < List.roads()) add(sample_of(List, road, Time));
}

void SpaceTimeHistory::add(const Sample& S) {
    if (!std::isfinite(S.Time)) return;
    if (!Samples.empty() &&
        std::floor(S.Time / SampleSeconds) <= std::floor(Samples.back().Time / SampleSeconds))
        return;
    Samples.push_back(S);
    while (Samples.front().Time < S.Time - Span)
        Samples.pop_front();
    ++Revision;
}

void SpaceTimeHistory::clear() {
    Samples.clear();
    ++Revision;
}

void SpaceTimeHistory::set_ring(double length) {
    const double ring = length > 0 && std::isfinite(length) ? length : 0.0;
    if (ring != Ring) ++Revision;
    Ring = ring;
}

SpaceTimeHistory::Range SpaceTimeHistory::range() const {
    if (Ring > 0) return {0.0, Ring};
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (const Sample& s : Samples)
        for (const double m : s.Metres) {
            if (!std::isfinite(m)) continue;
            low = std::min(low, m);
            high = std::max(high, m);
        }
    if (low > high) return {};
    Range R{std::floor(low / kRangeStep) * kRangeStep, std::ceil(high / kRangeStep) * kRangeStep};
    if (!(R.High > R.Low)) R.High = R.Low + kRangeStep;
    return R;
}

void SpaceTimeHistory::rasterise(RgbaImage& Image, const Rgb& Background) const {
    if (Image.Width != Width || Image.Height != Height) Image = RgbaImage(Width, Height);
    for (std::size_t i = 0; i < Image.Pixels.size(); i += 4) {
        Image.Pixels[i] = Background[0], Image.Pixels[i + 1] = Background[1];
        Image.Pixels[i + 2] = Background[2], Image.Pixels[i + 3] = 255;
    }
    if (Samples.empty()) return;
    const Range R = range();
    const double left = Samples.back().Time - Span;
    const auto column = [&](double t) {
        return static_cast<std::int32_t>(std::lround((t - left) / Span * (Width - 1)));
    };
    // Distances far beyond any road still land on the picture's edge rather than overflow.
    const auto row = [&](double m) {
        const double y = (R.High - m) / (R.High - R.Low) * (Height - 1);
        return static_cast<std::int32_t>(std::lround(std::clamp(y, 0.0, Height - 1.0)));
    };
    for (std::size_t v = 0; v < Vehicles; ++v) {
        const Sample* previous = nullptr;
        for (const Sample& s : Samples) {
            if (!std::isfinite(s.Metres[v])) {
                previous = nullptr;
                continue;
            }
            const std::int32_t x = column(s.Time), y = row(s.Metres[v]);
            const Rgb c = speed_colour(s.Kmh[v]);
            // Round the ring: the trace leaves at the top and comes back at the bottom.
            const bool wrapped =
                Ring > 0 && previous && std::fabs(s.Metres[v] - previous->Metres[v]) > Ring / 2;
            if (previous && !wrapped)
                segment(Image, column(previous->Time), row(previous->Metres[v]), x, y, c);
            else
                put(Image, x, y, c);
            previous = &s;
        }
    }
}

} // namespace kl
