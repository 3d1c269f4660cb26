// The space-time diagram's picture from hand-made histories: traces where the vehicles were, in the
// colours of their speeds; a minute kept; a paused traffic adds nothing; another road starts afresh;
// and the fundamental diagram of uniform flow.
#include "scene/fundamental_diagram.h"
#include "scene/space_time_diagram.h"
#include "scene/street.h"
#include "traffic/idm_model.h"
#include "traffic/ring.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <vector>

namespace kl {
namespace {

using H = SpaceTimeHistory;
const Rgb kBackground{10, 10, 10};

// Vehicle 0 stands at 500 m from the start; vehicle 1 drives from 0 m at 36 m/s (129.6 km/h);
// vehicle 2 stands at 1000 m until `gone` seconds; the others have no place.
H::Sample moment(double t, double gone = 1e9) {
    H::Sample s;
    s.Time = t;
    s.Points = {{0, 500, 0}, {1, 36 * t, 129.6}};
    if (t < gone) s.Points.push_back({2, 1000, 0});
    return s;
}

Rgb pixel(const RgbaImage& I, int x, int y) {
    const std::uint8_t* p = I.at(x, y);
    return {p[0], p[1], p[2]};
}

int pixels_of(const RgbaImage& I, const Rgb& c) {
    int n = 0;
    for (int y = 0; y < I.Height; ++y)
        for (int x = 0; x < I.Width; ++x)
            n += pixel(I, x, y) == c;
    return n;
}

TEST(SpaceTimeDiagram, DrawsAStandingAndADrivingVehicleWhereTheyWereInTheirSpeedColours) {
    H history;
    for (int i = 0; i <= 240; ++i)
        history.add(moment(i * H::SampleSeconds));
    // 0 to 2160 m, widened to whole 200 m.
    EXPECT_EQ(history.range().Low, 0.0);
    EXPECT_EQ(history.range().High, 2200.0);

    RgbaImage image;
    history.rasterise(image, kBackground);
    ASSERT_EQ(image.Width, 240);
    ASSERT_EQ(image.Height, 112);
    const Rgb slow = speed_colour(0), fast = speed_colour(129.6);
    EXPECT_GT(slow[0], slow[1] + 100) << "standing is red";
    EXPECT_GT(fast[1], fast[0] + 50) << "fast is green";

    // 500 m of 2200 from the top's 2200: row 111 x 1700 / 2200 = 85.8; the whole minute long,
    // but where the driving vehicle passes it (about 14 s in).
    for (const int x : {0, 30, 120, 239})
        EXPECT_EQ(pixel(image, x, 86), slow) << x;
    // 45 s: 1620 m, column 239 x 45 / 60 = 179.25, row 111 x 580 / 2200 = 29.3. 60 s: 2160 m at the
    // top right.
    EXPECT_EQ(pixel(image, 179, 29), fast);
    EXPECT_EQ(pixel(image, 239, 2), fast);
    EXPECT_EQ(pixel(image, 0, 111), fast);
    // Above the driving vehicle's line: nobody was there.
    EXPECT_EQ(pixel(image, 60, 10), kBackground);
}

TEST(SpaceTimeDiagram, KeepsAMinuteNothingWhilePausedAndStartsAfreshOnAnotherRoad) {
    H history;
    RgbaImage image;
    // Vehicle 2 leaves the road after 10 s: its trace is in the picture until 70 s.
    for (int i = 0; i <= 240; ++i)
        history.add(moment(i * H::SampleSeconds, 10));
    history.rasterise(image, kBackground);
    const int standing = pixels_of(image, speed_colour(0));
    for (int i = 241; i <= 280; ++i)
        history.add(moment(i * H::SampleSeconds, 10));
    EXPECT_EQ(history.samples().front().Time, 10.0);
    history.rasterise(image, kBackground);
    // Vehicle 0 still stands the whole minute (240 columns, one or two under the driving vehicle),
    // vehicle 2's 40 columns are gone.
    const int after = pixels_of(image, speed_colour(0));
    EXPECT_GE(after, 236);
    EXPECT_LE(after, 240);
    EXPECT_GE(standing - after, 36);

    // The user on the fourth of five roads; the traffic moves there only.
    auto tables = std::make_unique<TrafficTables>();
    const std::int32_t road = scene::road_under(54 + 20 * 3 + 4, 5);
    EXPECT_EQ(road, 3);
    tables->VehDist(1, 5, 3) = 12345;
    tables->VehSpeed(1, 5, 3) = 100;
    VehicleList vehicles;
    list_table_vehicles(*tables, 5, vehicles);
    H followed;
    followed.follow(vehicles, road, 1.0);
    followed.follow(vehicles, road, 1.0);
    followed.follow(vehicles, road, 1.0 + H::SampleSeconds / 2);
    ASSERT_EQ(followed.samples().size(), 1u) << "a paused traffic adds no sample";
    ASSERT_NE(followed.samples().back().find(20 + 5), nullptr);
    EXPECT_EQ(followed.samples().back().find(20 + 5)->Metres, 123.45);
    EXPECT_NEAR(followed.samples().back().find(20 + 5)->Kmh, 129.6, 1e-9);
    followed.follow(vehicles, road, 1.0 + H::SampleSeconds);
    EXPECT_EQ(followed.samples().size(), 2u);

    // Far beyond the last road: the last road, and a new history.
    followed.follow(vehicles, scene::road_under(1e9, 5), 2.0);
    EXPECT_EQ(followed.road(), 4);
    ASSERT_EQ(followed.samples().size(), 1u);
    ASSERT_NE(followed.samples().back().find(25), nullptr);
    EXPECT_EQ(followed.samples().back().find(25)->Metres, 0.0);
    EXPECT_EQ(scene::road_under(-1e9, 5), 0);
    EXPECT_EQ(scene::road_under(60, 0), -1);
}

// A road fed by an inflow: its whole length upwards, the bottleneck a band behind the traces, and a
// trace for every vehicle whatever its id, listed in any order.
TEST(SpaceTimeDiagram, ARoadFedByAnInflowShowsItsLengthItsBottleneckAndEveryVehicle) {
    H history;
    const Bottleneck neck = bottleneck_of(TrafficScenario::Roadworks, 4000);
    history.set_road(4000, neck);
    VehicleList vehicles;
    for (int i = 0; i <= 240; ++i) {
        const double t = i * H::SampleSeconds;
        vehicles.start(1);
        // Vehicle 7001 drives from 0 m at 36 m/s, vehicle 7000 stands at 3,500 m.
        vehicles.add(Vehicle{0, 7001, 1, 0, 4, 36 * t, 36, 0});
        vehicles.add(Vehicle{0, 7000, 0, 0, 0, 3500, 0, 0});
        history.follow(vehicles, 0, t);
    }
    EXPECT_EQ(history.range().Low, 0.0);
    EXPECT_EQ(history.range().High, 4000.0);
    RgbaImage image;
    history.rasterise(image, kBackground);
    // 3,500 m: row 111 x 500 / 4000 = 13.9; the driving vehicle at 2,160 m after 60 s: row 51.
    EXPECT_EQ(pixel(image, 120, 14), speed_colour(0));
    EXPECT_EQ(pixel(image, 239, 51), speed_colour(129.6));
    // 2,500 to 2,800 m are rows 33 to 42: the band, lighter than the background, where no trace is,
    // and its edges dashed across the traces too.
    const Rgb band = pixel(image, 5, 38);
    EXPECT_GT(band[2], kBackground[2] + 20);
    EXPECT_EQ(pixel(image, 5, 31), kBackground);
    EXPECT_EQ(pixel(image, 5, 44), kBackground);
    const Rgb edge{235, 235, 235};
    EXPECT_EQ(pixel(image, 0, 33), edge);
    EXPECT_EQ(pixel(image, 0, 34), edge);
    EXPECT_EQ(pixel(image, 3, 33), band);
    EXPECT_EQ(pixel(image, 6, 41), edge);
    EXPECT_EQ(pixel(image, 6, 42), edge);
}

} // namespace
} // namespace kl

namespace kl {
namespace {

// A ring of vehicles undisplaced at their equilibrium speed: every detector's point, and the present
// state, lies on the equilibrium curve of the parameters (within 5 %, the detectors' discreteness).
TEST(FundamentalDiagram, UniformFlowLiesOnTheEquilibriumCurve) {
    struct Middle final : UniformSource {
        double next() override { return 0.5; }
    } middle;
    VehicleList vehicles;
    IdmTraffic model;
    model.parameters() = scenario_default_parameters(TrafficScenario::Ring);
    model.set_scenario({.Scenario = TrafficScenario::Ring, .RingLength = 450});
    model.set_up(1, middle, vehicles);
    FundamentalDiagram F;
    const double dt = 1.0 / 30;
    for (int frame = 1; frame <= 65 * 30; ++frame) {
        model.step(TrafficFrame{1, static_cast<float>(dt), static_cast<float>(dt)}, vehicles);
        F.follow(vehicles, 0, model.ring_length(), frame * dt, dt);
    }
    // Two aggregations of five detectors: 100 m stretches and the ring's last 50 m.
    ASSERT_EQ(F.points().size(), 10u);
    ASSERT_TRUE(F.present());
    const double length = mean_vehicle_length(VehicleLengths{});
    const IdmParameters& P = model.parameters();
    auto points = std::vector<FundamentalDiagram::Point>(F.points().begin(), F.points().end());
    points.push_back(*F.present());
    for (const auto& p : points) {
        EXPECT_NEAR(p.Density, 60 / 0.45 / 3, 60 / 0.45 / 3 * 0.05);
        const double curve = equilibrium_flow(P, p.Density / 1000, length) * 3600;
        EXPECT_NEAR(p.Flow, curve, 0.05 * curve) << "at " << p.Density << " veh/km";
    }
}

} // namespace
} // namespace kl
