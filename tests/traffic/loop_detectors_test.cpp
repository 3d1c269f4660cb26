// The loop detectors fed with hand-made vehicles whose crossings are known: counts, both mean speeds,
// flow and occupancy of a minute; where the loops lie on each street; a ring's wrap, a step cut by an
// interval's end, and vehicles followed by id rather than by their place in the list.
#include "traffic/loop_detectors.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace kl {
namespace {

struct Driver {
    std::int32_t Road, Id, Lane;
    std::uint8_t Kind;
    double From, Speed; // metres at time 0, m/s
};

VehicleList at_time(const std::vector<Driver>& drivers, double t, std::int32_t roads, double ring = 0) {
    VehicleList list;
    list.start(roads);
    for (const Driver& d : drivers) {
        Vehicle v;
        v.Road = d.Road, v.Id = d.Id, v.Lane = d.Lane, v.Kind = d.Kind;
        v.Position = d.From + d.Speed * t;
        if (ring > 0) v.Position = std::fmod(v.Position, ring);
        v.Speed = d.Speed;
        list.add(v);
    }
    return list;
}

const LoopReading& reading(const LoopDetectors& loops, const LoopInterval& interval, std::int32_t road,
                           double position, std::int32_t lane) {
    for (const LoopReading& r : loops.road_readings(interval, road))
        if (r.Position == position && r.Lane == lane) return r;
    ADD_FAILURE() << "no loop at " << position << " m, lane " << lane << " of road " << road;
    static const LoopReading none;
    return none;
}

TEST(LoopDetectors, AMinuteOfKnownCrossingsGivesCountsSpeedsFlowAndOccupancy) {
    const VehicleLengths lengths;
    const std::vector<Driver> drivers = {
        {0, 3, 0, car_kind(0), 500.5, 0.0}, // stands over the loop at 500 m all the minute
        {0, 7, 1, car_kind(1), 240.0, 20.0},
        {0, 9, 1, car_kind(1), 230.0, 4.0},
        {1, 0, 2, slow_vehicle_kind(1), 0.0, 10.0},
    };
    LoopDetectors loops;
    loops.set_up(default_settings(TrafficScenario::Open), 2, lengths, at_time(drivers, 0, 2), 0.0);
    EXPECT_EQ(loops.positions().size(), 16u) << "250 m to 4,000 m";
    for (int k = 1; k <= 120; ++k) {
        loops.step(at_time(drivers, 0.5 * k, 2), 0.5);
        ASSERT_EQ(loops.closed().size(), k == 120 ? 1u : 0u) << k;
    }
    const LoopInterval& minute = loops.closed().front();
    EXPECT_DOUBLE_EQ(minute.End, 60.0);
    EXPECT_DOUBLE_EQ(minute.Seconds, 60.0);
    EXPECT_EQ(minute.Readings.size(), 2u * 16u * 3u);

    // Two vehicles over 250 m in lane 1, at 20 and 4 m/s: 120 an hour, means 12 and 6.67 m/s.
    const LoopReading& both = reading(loops, minute, 0, 250, 1);
    EXPECT_EQ(both.Vehicles, 2);
    EXPECT_DOUBLE_EQ(both.Flow, 120.0);
    EXPECT_DOUBLE_EQ(both.Speed, 12.0);
    EXPECT_NEAR(both.HarmonicSpeed, 2.0 / (1.0 / 20 + 1.0 / 4), 1e-12);
    // Each body lies over it for its length over its speed: 3.6 / 20 + 3.6 / 4 = 1.08 s of 60.
    EXPECT_NEAR(both.Occupancy, 1.8, 1e-9);
    // The fast one alone reaches 1,250 m (it ends at 1,440 m); the slow one stays short of 500 m.
    EXPECT_EQ(reading(loops, minute, 0, 500, 1).Vehicles, 1);
    EXPECT_EQ(reading(loops, minute, 0, 1250, 1).Vehicles, 1);
    EXPECT_EQ(reading(loops, minute, 0, 1500, 1).Vehicles, 0);
    EXPECT_TRUE(std::isnan(reading(loops, minute, 0, 1500, 1).Speed));
    // Standing over a loop: covered all the time, never counted.
    const LoopReading& standing = reading(loops, minute, 0, 500, 0);
    EXPECT_EQ(standing.Vehicles, 0);
    EXPECT_DOUBLE_EQ(standing.Occupancy, 100.0);
    // The other road's slow vehicle (5 m long) at 10 m/s.
    const LoopReading& other = reading(loops, minute, 1, 500, 2);
    EXPECT_EQ(other.Vehicles, 1);
    EXPECT_DOUBLE_EQ(other.Speed, 10.0);
    EXPECT_NEAR(other.Occupancy, 5.0 / 10.0 / 60.0 * 100.0, 1e-9);
    EXPECT_EQ(reading(loops, minute, 1, 750, 2).Vehicles, 0);

    // The run ends 30 s into the next minute: those 30 s are closed as they are; a moment is not.
    for (int k = 121; k <= 180; ++k)
        loops.step(at_time(drivers, 0.5 * k, 2), 0.5);
    loops.close();
    ASSERT_EQ(loops.closed().size(), 1u);
    EXPECT_DOUBLE_EQ(loops.closed().front().Seconds, 30.0);
    EXPECT_DOUBLE_EQ(reading(loops, loops.closed().front(), 0, 1500, 1).Flow, 120.0);
    loops.step(at_time(drivers, 90.5, 2), 0.5);
    loops.close();
    EXPECT_TRUE(loops.closed().empty());
}

TEST(LoopDetectors, LoopsLieWhereEachStreetHasThem) {
    const VehicleList none = at_time({}, 0, 1);
    LoopDetectors loops;
    // A road fed by an inflow: none at its end, where vehicles leave it.
    loops.set_up(default_settings(TrafficScenario::Roadworks), 1, {}, none, 0);
    EXPECT_EQ(loops.positions().size(), 15u);
    EXPECT_EQ(loops.positions().back(), 3750.0);
    ScenarioSettings longer = default_settings(TrafficScenario::Roadworks);
    longer.RoadLength = 1100;
    loops.set_up(longer, 1, {}, none, 0);
    EXPECT_EQ(loops.positions().back(), 1000.0);
    // A ring of 300 m: one loop; of 2,000 m: eight, the last at its start.
    ScenarioSettings ring = default_settings(TrafficScenario::Ring);
    ring.RingLength = 300;
    loops.set_up(ring, 1, {}, none, 0);
    EXPECT_EQ(loops.positions().size(), 1u);
    ring.RingLength = 2000;
    loops.set_up(ring, 1, {}, none, 0);
    EXPECT_EQ(loops.positions().size(), 8u);

    // The on-ramp (2,200 to 2,800 m on the 4,000 m road) has loops at 2,250, 2,500 and 2,750 m, read
    // after the main lanes' at each; a ramp vehicle is counted there only.
    const std::vector<Driver> ramp = {{0, 40, RampLane, car_kind(2), 2240, 20},
                                      {0, 41, 2, car_kind(2), 2240, 20}};
    loops.set_up(default_settings(TrafficScenario::Onramp), 1, {}, at_time(ramp, 0, 1), 0);
    loops.step(at_time(ramp, 1, 1), 60);
    ASSERT_EQ(loops.closed().size(), 1u);
    const auto readings = loops.road_readings(loops.closed().front(), 0);
    ASSERT_EQ(readings.size(), 15u * 3u + 3u);
    std::vector<double> ramp_loops;
    for (const LoopReading& r : readings)
        if (r.Lane == RampLane) ramp_loops.push_back(r.Position);
    EXPECT_EQ(ramp_loops, (std::vector<double>{2250, 2500, 2750}));
    EXPECT_EQ(readings[3 * 8 + 3].Lane, RampLane);
    EXPECT_EQ(readings[3 * 8 + 3].Position, 2250.0);
    EXPECT_EQ(readings[3 * 8 + 3].Vehicles, 1);
    EXPECT_EQ(readings[3 * 8 + 2].Vehicles, 1) << "the main road's right lane, beside it";
}

TEST(LoopDetectors, ARingWrapsAStepIsCutAtAMinuteAndVehiclesAreFollowedById) {
    // Round a 250 m ring from 245 m to 5 m: over its one loop, at its start.
    ScenarioSettings ring = default_settings(TrafficScenario::Ring);
    ring.RingLength = 250;
    const std::vector<Driver> round = {{0, 0, 0, car_kind(0), 245, 10}};
    LoopDetectors loops;
    loops.set_up(ring, 1, {}, at_time(round, 0, 1, 250), 0);
    loops.step(at_time(round, 1, 1, 250), 60);
    ASSERT_EQ(loops.closed().size(), 1u);
    const LoopReading& start = reading(loops, loops.closed().front(), 0, 250, 0);
    EXPECT_EQ(start.Vehicles, 1);
    EXPECT_DOUBLE_EQ(start.Speed, 10.0 / 60.0);

    // A step from 59.5 s to 60.5 s moving from 235 m to 255 m passes 250 m after the minute's end.
    std::vector<Driver> open = {{0, 1, 1, car_kind(0), 235, 0}};
    loops.set_up(default_settings(TrafficScenario::Open), 1, {}, at_time(open, 0, 1), 0);
    loops.step(at_time(open, 0, 1), 59.5);
    open[0].From = 255;
    loops.step(at_time(open, 0, 1), 1.0);
    ASSERT_EQ(loops.closed().size(), 1u);
    EXPECT_EQ(reading(loops, loops.closed().front(), 0, 250, 1).Vehicles, 0);
    loops.step(at_time(open, 0, 1), 59.5);
    ASSERT_EQ(loops.closed().size(), 1u);
    EXPECT_DOUBLE_EQ(loops.closed().front().End, 120.0);
    EXPECT_EQ(reading(loops, loops.closed().front(), 0, 250, 1).Vehicles, 1);

    // Listed in another order, each is still itself; a new id in a slot is a new vehicle, which
    // passed nothing.
    const std::vector<Driver> before = {
        {0, 5, 0, car_kind(0), 240, 0}, {0, 6, 1, car_kind(0), 740, 0}, {0, 8, 2, car_kind(0), 1240, 0}};
    const std::vector<Driver> after = {
        {0, 6, 1, car_kind(0), 760, 0}, {0, 5, 0, car_kind(0), 260, 0}, {0, 9, 2, car_kind(0), 1260, 0}};
    loops.set_up(default_settings(TrafficScenario::Open), 1, {}, at_time(before, 0, 1), 0);
    loops.step(at_time(after, 0, 1), 60);
    ASSERT_EQ(loops.closed().size(), 1u);
    EXPECT_EQ(reading(loops, loops.closed().front(), 0, 250, 0).Vehicles, 1);
    EXPECT_EQ(reading(loops, loops.closed().front(), 0, 750, 1).Vehicles, 1);
    EXPECT_EQ(reading(loops, loops.closed().front(), 0, 1250, 2).Vehicles, 0);
}

} // namespace
} // namespace kl
