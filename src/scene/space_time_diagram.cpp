// The history holds at most one sample a column, so drawing it costs the same whatever the frame rate:
// about 240 short segments a vehicle of the road, done only when a sample came.
#include "scene/space_time_diagram.h"

#include "traffic/statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace kl {

namespace {

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

const SpaceTimeHistory::Point* SpaceTimeHistory::Sample::find(std::int32_t id) const {
    const auto at = std::lower_bound(Points.begin(), Points.end(), id,
                                     [](const Point& p, std::int32_t i) { return p.Id < i; });
    return at != Points.end() && at->Id == id ? &*at : nullptr;
}

SpaceTimeHistory::Sample SpaceTimeHistory::sample_of(const VehicleList& List, std::int32_t Road,
                                                     double Time) {
    Sample S;
    S.Time = Time;
    const auto vehicles = List.road(Road);
    S.Points.reserve(vehicles.size());
    for (const Vehicle& v : vehicles)
        if (std::isfinite(v.Position)) S.Points.push_back({v.Id, v.Position, v.Speed * 3.6});
    // A model that reuses the places of vehicles gone lists them out of id order.
    if (!std::is_sorted(S.Points.begin(), S.Points.end(),
                        [](const Point& a, const Point& b) { return a.Id < b.Id; }))
        std::sort(S.Points.begin(), S.Points.end(),
                  [](const Point& a, const Point& b) { return a.Id < b.Id; });
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

void SpaceTimeHistory::set_road(double length, const Bottleneck& bottleneck) {
    const double road = length > 0 && std::isfinite(length) ? length : 0.0;
    if (road != RoadLength || bottleneck.Start != Neck.Start || bottleneck.End != Neck.End) ++Revision;
    RoadLength = road;
    Neck = road > 0 ? bottleneck : Bottleneck{};
}

SpaceTimeHistory::Range SpaceTimeHistory::range() const {
    if (Ring > 0) return {0.0, Ring};
    if (RoadLength > 0) return {0.0, RoadLength};
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (const Sample& s : Samples)
        for (const Point& p : s.Points) {
            low = std::min(low, p.Metres);
            high = std::max(high, p.Metres);
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
    if (Neck.End > Neck.Start) {
        const Rgb band = mix(Background, Rgb{150, 150, 170}, 0.25);
        for (std::int32_t y = row(Neck.End); y <= row(Neck.Start); ++y)
            for (std::int32_t x = 0; x < Width; ++x)
                put(Image, x, y, band);
    }
    // Trace after trace by ascending id, each from sample to sample: where traces cross, the later
    // id's pixels win. Each sample's points are walked once, in step with the ids.
    std::vector<std::size_t> next(Samples.size(), 0);
    for (;;) {
        std::int32_t id = std::numeric_limits<std::int32_t>::max();
        bool any = false;
        for (std::size_t k = 0; k < Samples.size(); ++k)
            if (next[k] < Samples[k].Points.size()) {
                id = std::min(id, Samples[k].Points[next[k]].Id);
                any = true;
            }
        if (!any) break;
        const Sample* previous = nullptr;
        const Point* before = nullptr;
        for (std::size_t k = 0; k < Samples.size(); ++k) {
            const Sample& s = Samples[k];
            if (next[k] >= s.Points.size() || s.Points[next[k]].Id != id) {
                previous = nullptr;
                continue;
            }
            const Point& p = s.Points[next[k]++];
            const std::int32_t x = column(s.Time), y = row(p.Metres);
            const Rgb c = speed_colour(p.Kmh);
            // Round the ring: the trace leaves at the top and comes back at the bottom.
            const bool wrapped = Ring > 0 && previous && std::fabs(p.Metres - before->Metres) > Ring / 2;
            if (previous && !wrapped)
                segment(Image, column(previous->Time), row(before->Metres), x, y, c);
            else
                put(Image, x, y, c);
            previous = &s;
            before = &p;
        }
    }
    // A busy road's traces hide the band: its edges again on top, dashed, two rows thick inwards.
    if (Neck.End > Neck.Start)
        for (const auto& [edge, inwards] : {std::pair{Neck.Start, -1}, std::pair{Neck.End, 1}})
            for (std::int32_t x = 0; x < Width; ++x)
                if (x % 6 < 3)
                    for (const std::int32_t y : {row(edge), row(edge) + inwards})
                        put(Image, x, y, Rgb{235, 235, 235});
}

} // namespace kl
