// The space-time diagram of one road: where each of its vehicles was over the last minute of simulated
// time, and the small RGBA picture of it that the statistics panel shows, each trace coloured by speed.
// A road fed by an inflow holds as many vehicles as its flow brings, each with an id of its own, so a
// moment keeps every vehicle there is.
#pragma once

#include "traffic/scenario.h"
#include "traffic/vehicles.h"

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

namespace kl {

// An RGBA picture, rows top to bottom, four bytes a pixel.
struct RgbaImage {
    std::int32_t Width = 0, Height = 0;
    std::vector<std::uint8_t> Pixels;

    RgbaImage() = default;
    RgbaImage(std::int32_t width, std::int32_t height);
    // The four bytes of pixel (x, y); the caller keeps to the picture.
    const std::uint8_t* at(std::int32_t x, std::int32_t y) const {
        return Pixels.data() +
               (static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) + static_cast<std::size_t>(x)) *
                   4;
    }
    std::uint8_t* at(std::int32_t x, std::int32_t y) {
        return const_cast<std::uint8_t*>(static_cast<const RgbaImage&>(*this).at(x, y));
    }
};

using Rgb = std::array<std::uint8_t, 3>;

// The colour scale of the traces: red when standing, yellow at kDiagramMidKmh, green from
// kDiagramHighKmh on (the program's top speed is about 156 km/h).
inline constexpr double kDiagramMidKmh = 80.0, kDiagramHighKmh = 150.0;
Rgb speed_colour(double kmh);

class SpaceTimeHistory {
  public:
    static constexpr double Span = 60.0;
    // The picture's size: one column for each sample, 240 of them cover the minute.
    static constexpr std::int32_t Width = 240, Height = 112;
    static constexpr double SampleSeconds = Span / Width;
    // A moment of the road: where each of its vehicles was, metres along it, and its speed in km/h,
    // by ascending id; a vehicle without a place (and every vehicle of a road the street does not
    // have) is left out.
    struct Point {
        std::int32_t Id = 0;
        double Metres = 0, Kmh = 0;
    };
    struct Sample {
        double Time = 0;
        std::vector<Point> Points;
        // The point of vehicle `id`; none when it had no place then.
        const Point* find(std::int32_t id) const;
    };
    static Sample sample_of(const VehicleList& Vehicles, std::int32_t Road, double Time);

    // Takes road Road at simulated Time when a column's time has passed since the last sample: a
    // paused traffic adds nothing. Another road than the last one (or -1) starts afresh.
    void follow(const VehicleList& Vehicles, std::int32_t Road, double Time);
    // The sample as it comes: at most one a column, never one older than the latest.
    void add(const Sample& S);
    // Forgets everything, keeping the road: the traffic was set up afresh.
    void clear();
    // On a ring of that length (0: the open street), positions run from 0 to it upwards and a trace
    // that goes round the ring wraps from the top to the bottom.
    void set_ring(double length);
    double ring() const { return Ring; }
    // On a road of that length fed by an inflow (0: none), positions run from 0 to it, and the
    // bottleneck's stretch (none when Start equals End) is a lighter band behind the traces, its
    // edges dashed lines over them.
    void set_road(double length, const Bottleneck& bottleneck);
    double road_length() const { return RoadLength; }
    const Bottleneck& bottleneck() const { return Neck; }

    std::int32_t road() const { return Road; }
    const std::deque<Sample>& samples() const { return Samples; }
    // Counts every change, so that a picture is drawn again only when it would differ.
    std::uint64_t revision() const { return Revision; }

    // The positions the picture covers, in metres, bottom to top: the span of every distance in the
    // samples, widened to whole 200 m. Both 0 without any.
    struct Range {
        double Low = 0, High = 0;
    };
    Range range() const;

    // Time across (the latest sample at the right edge, Span earlier at the left), position upwards,
    // each vehicle's trace from sample to sample in the colour of its speed, on Background.
    void rasterise(RgbaImage& Image, const Rgb& Background) const;

  private:
    std::deque<Sample> Samples;
    std::int32_t Road = -1;
    std::uint64_t Revision = 0;
    double Ring = 0;
    double RoadLength = 0;
    Bottleneck Neck;
};

} // namespace kl
