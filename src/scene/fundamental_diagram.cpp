// A stretch's density is the vehicle-seconds spent in it over its length and the time, its flow the
// vehicle-metres driven in it over the same: in uniform flow both are exact whatever the detectors'
// spacing, and flow over density is the mean speed.
#include "scene/fundamental_diagram.h"

#include "traffic/ring.h"

#include <algorithm>
#include <cmath>

namespace kl {

namespace {

double round_up(double value, double step) {
    return std::max(step, std::ceil(value / step) * step);
}

void put(RgbaImage& I, std::int32_t x, std::int32_t y, const Rgb& c) {
    if (x < 0 || y < 0 || x >= I.Width || y >= I.Height) return;
    std::uint8_t* p = I.at(x, y);
    p[0] = c[0], p[1] = c[1], p[2] = c[2], p[3] = 255;
}

} // namespace

double mean_vehicle_length(const VehicleLengths& lengths) {
    double total = 0;
    for (int m = 0; m < 3; ++m)
        total += TrafficTables::LastCar * lengths.of(m, false) + lengths.of(m, true);
    return total / (3 * (TrafficTables::LastCar + 1));
}

void FundamentalDiagram::clear() {
    Stretches.clear();
    Points.clear();
    Present.reset();
    PresentShown = -1e300;
    Running = false;
    ++Revision;
}

void FundamentalDiagram::follow(const VehicleList& Vehicles, std::int32_t road, double ring, double Time,
                                double dt) {
    if (road != Road || ring != Ring) {
        clear();
        Road = road;
        Ring = ring;
    }
    if (road < 0 || road >= Vehicles.roads() || !std::isfinite(Time)) return;
    if (!Running) {
        Running = true;
        Started = Time;
    }
    double low = INFINITY, high = -INFINITY, speeds = 0;
    int count = 0;
    for (const Vehicle& vehicle : Vehicles.road(road)) {
        const double x = vehicle.Position;
        if (!std::isfinite(x) || vehicle.Lane < 0 || vehicle.Lane > 2) continue;
        const double v = std::max(0.0, vehicle.Speed);
        low = std::min(low, x), high = std::max(high, x);
        speeds += v;
        ++count;
        if (dt > 0) {
            Stretch& s = Stretches[static_cast<std::int64_t>(std::floor(x / DetectorMetres))];
            s.Seconds += dt;
            s.Metres += v * dt;
        }
    }
    // The present: on the ring its whole length; on the open street the stretch the vehicles cover.
    const double occupied = Ring > 0 ? Ring : high - low;
    if (count > 1 && occupied > 0) {
        const double density = count / occupied / 3.0;
        Present = Point{Time, density * 1000.0, density * speeds / count * 3600.0};
        // The picture is sent again for the present point once a second of simulated time.
        if (Time - PresentShown >= 1.0) {
            PresentShown = Time;
            ++Revision;
        }
    }
    if (Time - Started < AggregateSeconds) return;
    const double seconds = Time - Started;
    for (const auto& [index, s] : Stretches) {
        // The ring's last stretch is what is left of its length.
        const double from = static_cast<double>(index) * DetectorMetres;
        const double length = Ring > 0 ? std::min(DetectorMetres, Ring - from) : DetectorMetres;
        if (!(length > 0) || s.Seconds <= 0) continue;
        const double lanes = 3.0 * length * seconds;
        Points.push_back({Time, s.Seconds / lanes * 1000.0, s.Metres / lanes * 3600.0});
    }
    Stretches.clear();
    Started = Time;
    while (!Points.empty() && Points.front().Time < Time - Span)
        Points.pop_front();
    ++Revision;
}

void FundamentalDiagram::take_readings(std::span<const LoopReading> readings, std::int32_t road,
                                       double Time) {
    if (road != Road || Ring != 0) {
        clear();
        Road = road;
        Ring = 0;
    }
    Present.reset();
    for (const LoopReading& r : readings) {
        if (r.Lane < 0 || r.Lane >= MainLanes || r.Vehicles == 0 || !(r.HarmonicSpeed > 0)) continue;
        // Vehicles an hour over metres a second: vehicles a kilometre.
        Points.push_back({Time, r.Flow / (r.HarmonicSpeed * 3.6), r.Flow});
    }
    while (!Points.empty() && Points.front().Time < Time - Span)
        Points.pop_front();
    ++Revision;
}

FundamentalDiagram::Axes FundamentalDiagram::axes(const IdmParameters& P, double vehicle_length) const {
    Axes A;
    A.Density = round_up(1000.0 / (vehicle_length + P.MinimumGap), 20.0);
    double flow = 0;
    for (int i = 1; i < 100; ++i)
        flow = std::max(flow, equilibrium_flow(P, A.Density / 1000.0 * i / 100.0, vehicle_length) * 3600.0);
    for (const Point& p : Points)
        flow = std::max(flow, p.Flow);
    if (Present) flow = std::max(flow, Present->Flow);
    A.Flow = round_up(flow * 1.05, 500.0);
    return A;
}

void FundamentalDiagram::rasterise(RgbaImage& Image, const Rgb& Background, const IdmParameters& P,
                                   double vehicle_length) const {
    if (Image.Width != Width || Image.Height != Height) Image = RgbaImage(Width, Height);
    for (std::size_t i = 0; i < Image.Pixels.size(); i += 4) {
        Image.Pixels[i] = Background[0], Image.Pixels[i + 1] = Background[1];
        Image.Pixels[i + 2] = Background[2], Image.Pixels[i + 3] = 255;
    }
    const Axes A = axes(P, vehicle_length);
    const auto column = [&](double density) {
        return static_cast<std::int32_t>(
            std::lround(std::clamp(density / A.Density, 0.0, 1.0) * (Width - 1)));
    };
    const auto row = [&](double flow) {
        return static_cast<std::int32_t>(
            std::lround((1.0 - std::clamp(flow / A.Flow, 0.0, 1.0)) * (Height - 1)));
    };
    // The curve, a column at a time and joined vertically so that its steep parts stay a line.
    const Rgb curve{150, 160, 180};
    std::int32_t last = -1;
    for (std::int32_t x = 0; x < Width; ++x) {
        const double density = A.Density * x / (Width - 1) / 1000.0;
        const std::int32_t y = row(equilibrium_flow(P, density, vehicle_length) * 3600.0);
        if (last < 0) last = y;
        for (std::int32_t k = std::min(last, y); k <= std::max(last, y); ++k)
            put(Image, x, k, curve);
        last = y;
    }
    // Points as 2 x 2 dots, the latest brightest.
    const double newest = Points.empty() ? 0.0 : Points.back().Time;
    for (const Point& p : Points) {
        const double kmh = p.Density > 0 ? p.Flow / p.Density : 0.0;
        const Rgb c = speed_colour(kmh);
        const double age = std::clamp((newest - p.Time) / Span, 0.0, 1.0);
        const double w = 1.0 - 0.6 * age;
        const Rgb dim{static_cast<std::uint8_t>(std::lround(Background[0] + (c[0] - Background[0]) * w)),
                      static_cast<std::uint8_t>(std::lround(Background[1] + (c[1] - Background[1]) * w)),
                      static_cast<std::uint8_t>(std::lround(Background[2] + (c[2] - Background[2]) * w))};
        const std::int32_t x = column(p.Density), y = row(p.Flow);
        for (std::int32_t dy = 0; dy < 2; ++dy)
            for (std::int32_t dx = 0; dx < 2; ++dx)
                put(Image, x + dx, y - dy, dim);
    }
    if (Present) {
        const std::int32_t x = column(Present->Density), y = row(Present->Flow);
        for (std::int32_t dy = -3; dy <= 3; ++dy)
            for (std::int32_t dx = -3; dx <= 3; ++dx) {
                const std::int32_t d = dx * dx + dy * dy;
                if (d <= 4)
                    put(Image, x + dx, y + dy, {255, 255, 255});
                else if (d <= 10)
                    put(Image, x + dx, y + dy, {0, 0, 0});
            }
    }
}

} // namespace kl
