// Behaviour of one traffic frame in small staged situations, checked on the fast step and on the plain
// scan alike.
#include "traffic/traffic.h"

#include <gtest/gtest.h>
#include <memory>

namespace kl {
namespace {

using StepFunction = void (*)(TrafficTables&, const TrafficFrame&);

// With V at speed 99 before the frame (100 after accelerating) this frame time makes the look-ahead D
// a hair above 100 distance units.
constexpr float LookAhead100 = 1.0f / 36.0f;

class TrafficStep : public ::testing::TestWithParam<StepFunction> {
  protected:
    TrafficStep() { park_roads(3); }

    // Every vehicle of roads 0 .. count - 1 in its own lane at full speed, 100000 units from the next:
    // nobody sees anybody, so a test only has to place the vehicles it is about.
    void park_roads(int count) {
        for (int r = 0; r < count; ++r)
            for (int m = 0; m < 3; ++m)
                for (int n = 0; n <= TrafficTables::LastCar; ++n)
                    put(m, n, r, m, 1e6 + 1e5 * (20 * m + n), 120);
    }

    void put(int m, int n, int r, int lane, double dist, int speed) {
        T->VehLane(m, n, r) = lane;
        T->VehDist(m, n, r) = dist;
        T->VehSpeed(m, n, r) = speed;
        T->VehOffset(m, n, r) = 25 * lane;
        T->VehTargetOffset(m, n, r) = 25 * lane;
        T->VehSideStep(m, n, r) = 0;
    }

    // One frame, and the vehicles as the model front hands them out after it.
    void step(float FrameTime, float LastFrameTime, int RoadCount = 3) {
        GetParam()(*T, TrafficFrame{RoadCount, FrameTime, LastFrameTime});
        list_table_vehicles(*T, RoadCount, Listed);
    }

    std::unique_ptr<TrafficTables> T = std::make_unique<TrafficTables>();
    VehicleList Listed;
};

// Vehicle V = (1, 4, 0) in the middle lane at 1000, at speed 99 before the frame.
constexpr int Vm = 1, Vn = 4, Vr = 0;
constexpr double Vd = 1000.0;

TEST_P(TrafficStep, ReactsOnlyToAVehicleThisFramesTravelBringsCloserThan900) {
    struct Case {
        double gap;
        bool reacts;
    };
    for (const Case c :
         {Case{899, false}, Case{900, true}, Case{950, true}, Case{1000, true}, Case{1001, false}}) {
        SCOPED_TRACE(c.gap);
        park_roads(3);
        put(Vm, Vn, Vr, 1, Vd, 99);
        put(0, 7, Vr, 1, Vd + c.gap, 90); // W: slot in lane 0, driving in lane 1
        step(LookAhead100, 0.0f);
        // Both outer lanes are free, so a reaction is a move to lane 0; no reaction keeps lane and speed.
        EXPECT_EQ(T->VehLane(Vm, Vn, Vr), c.reacts ? 0 : 1);
        EXPECT_EQ(T->VehSpeed(Vm, Vn, Vr), 100);
    }
}

TEST_P(TrafficStep, LookAheadUsesThisFrameAndTheMoveTheLastFrame) {
    put(Vm, Vn, Vr, 1, Vd, 99);
    put(0, 7, Vr, 1, Vd + 901, 90);
    step(0.0f, 0.5f); // nothing ahead within 900 + 0; the move is half a second at speed 100
    EXPECT_EQ(T->VehLane(Vm, Vn, Vr), 1);
    EXPECT_EQ(T->VehDist(Vm, Vn, Vr), Vd + 0.5 * 100 * 36);

    put(Vm, Vn, Vr, 1, Vd, 99);
    put(0, 7, Vr, 1, Vd + 900, 90);
    step(0.0f, 0.0f); // exactly 900 ahead with no look-ahead still counts
    EXPECT_EQ(T->VehLane(Vm, Vn, Vr), 0);
    EXPECT_EQ(T->VehDist(Vm, Vn, Vr), Vd);
}

TEST_P(TrafficStep, BlockedOuterLaneVehicleTakesTheSpeedOfTheLaterVehicleAhead) {
    put(0, 3, Vr, 0, Vd, 119);       // V in lane 0, 120 after accelerating: D = 120
    put(0, 9, Vr, 0, Vd + 950, 80);  // first ahead in scan order
    put(2, 1, Vr, 0, Vd + 960, 90);  // later ahead (higher slot); still inside once D shrinks to 80
    put(1, 5, Vr, 1, Vd + 300, 110); // blocks lane 1
    step(1.0f / 36.0f, 0.0f);
    EXPECT_EQ(T->VehLane(0, 3, Vr), 0);
    EXPECT_EQ(T->VehOffset(0, 3, Vr), 0);
    EXPECT_EQ(T->VehSideStep(0, 3, Vr), 0);
    EXPECT_EQ(T->VehSpeed(0, 3, Vr), 90);

    // The taken speed narrows the window: from 80 the look-ahead is 80 units, so a later vehicle at
    // 990 is no longer ahead and the first one's speed stays.
    park_roads(1);
    put(0, 3, Vr, 0, Vd, 119);
    put(0, 9, Vr, 0, Vd + 950, 80);
    put(2, 1, Vr, 0, Vd + 990, 90);
    put(1, 5, Vr, 1, Vd + 300, 110);
    step(1.0f / 36.0f, 0.0f);
    EXPECT_EQ(T->VehSpeed(0, 3, Vr), 80);
}

TEST_P(TrafficStep, OuterLaneVehicleIsBlockedByTheSpeedTermOnlyForAVehicleAhead) {
    // |d| < 900 fails at 1100 either way; |d + speed| < 1020 holds for a middle-lane vehicle 1100
    // ahead (-1100 + 120) but not for one 1100 behind (1100 + 120).
    for (const double x : {Vd + 1100, Vd - 1100}) {
        SCOPED_TRACE(x);
        park_roads(1);
        put(2, 3, Vr, 2, Vd, 119);
        put(2, 8, Vr, 2, Vd + 950, 85);
        put(1, 5, Vr, 1, x, 110);
        step(1.0f / 36.0f, 0.0f);
        const bool blocked = x > Vd;
        EXPECT_EQ(T->VehLane(2, 3, Vr), blocked ? 2 : 1);
        EXPECT_EQ(T->VehSpeed(2, 3, Vr), blocked ? 85 : 120);
        if (!blocked) { // sliding from lane 2 towards lane 1, first step taken
            EXPECT_EQ(T->VehTargetOffset(2, 3, Vr), 25);
            EXPECT_EQ(T->VehSideStep(2, 3, Vr), -1);
            EXPECT_EQ(T->VehOffset(2, 3, Vr), 49);
        }
    }
}

TEST_P(TrafficStep, MiddleLaneVehiclePrefersLane0ThenLane2ThenTakesTheSpeed) {
    struct Case {
        bool lane0_taken, lane2_taken;
        int lane_after, speed_after;
    };
    for (const Case c : {Case{false, false, 0, 100}, Case{false, true, 0, 100}, Case{true, false, 2, 100},
                         Case{true, true, 1, 77}}) {
        SCOPED_TRACE(testing::Message() << c.lane0_taken << c.lane2_taken);
        park_roads(1);
        put(Vm, Vn, Vr, 1, Vd, 99);
        put(1, 11, Vr, 1, Vd + 950, 77);
        if (c.lane0_taken) put(0, 2, Vr, 0, Vd - 500, 110);
        if (c.lane2_taken) put(2, 2, Vr, 2, Vd + 850, 110);
        step(LookAhead100, 0.0f);
        EXPECT_EQ(T->VehLane(Vm, Vn, Vr), c.lane_after);
        EXPECT_EQ(T->VehSpeed(Vm, Vn, Vr), c.speed_after);
        EXPECT_EQ(T->VehTargetOffset(Vm, Vn, Vr), 25 * c.lane_after);
    }
}

TEST_P(TrafficStep, LaneChangeSlidesOneUnitPerFrameAndMovesTheDrawnX4Units) {
    put(Vm, Vn, Vr, 1, Vd, 99);
    put(1, 11, Vr, 1, Vd + 950, 77);
    const std::int32_t id = 20 * Vm + Vn;
    for (int frame = 1; frame <= 30; ++frame) {
        step(LookAhead100, 0.0f);
        EXPECT_EQ(T->VehLane(Vm, Vn, Vr), 0);
        EXPECT_EQ(T->VehOffset(Vm, Vn, Vr), std::max(25 - frame, 0)) << frame;
        EXPECT_EQ(T->VehSideStep(Vm, Vn, Vr), frame < 25 ? -1 : 0) << frame;
        if (frame == 1) {
            EXPECT_EQ(Listed.find(Vr, id)->Across, 4.0 * 24 / 25);
        }
    }
    EXPECT_EQ(Listed.find(Vr, id)->Across, 0.0);
    EXPECT_EQ(Listed.find(Vr, id)->Lane, 0);
}

TEST_P(TrafficStep, LaneChangeWhileStillSlidingStartsFromTheCurrentLanesOffset) {
    // Ten frames into a move from lane 1 to lane 0, a vehicle ahead sends it back to lane 1.
    put(0, 3, Vr, 0, Vd, 99);
    T->VehOffset(0, 3, Vr) = 15;
    T->VehSideStep(0, 3, Vr) = -1;
    put(0, 9, Vr, 0, Vd + 950, 80);
    step(LookAhead100, 0.0f);
    EXPECT_EQ(T->VehLane(0, 3, Vr), 1);
    EXPECT_EQ(T->VehSideStep(0, 3, Vr), 1);
    EXPECT_EQ(T->VehOffset(0, 3, Vr), 1); // reset to 0, then one step towards 25
}

TEST_P(TrafficStep, LaneChangeRaisesASlowVehicleTo70) {
    for (const int speed : {40, 68, 69, 70, 105}) {
        SCOPED_TRACE(speed);
        park_roads(1);
        put(Vm, Vn, Vr, 1, Vd, speed);
        put(1, 11, Vr, 1, Vd + 905, 60);
        step(LookAhead100, 0.0f);
        EXPECT_EQ(T->VehLane(Vm, Vn, Vr), 0);
        EXPECT_EQ(T->VehSpeed(Vm, Vn, Vr), std::max(speed + 1, 70));
    }
}

TEST_P(TrafficStep, CarsAccelerateBy1UpTo120AndTheLastVehicleNever) {
    put(0, 0, 0, 0, Vd, 50);
    put(0, 1, 0, 0, Vd + 1e4, 119);
    put(0, 2, 0, 0, Vd + 2e4, 120);
    put(0, TrafficTables::LastCar, 0, 0, Vd + 3e4, 72);
    step(LookAhead100, 0.0f);
    EXPECT_EQ(T->VehSpeed(0, 0, 0), 51);
    EXPECT_EQ(T->VehSpeed(0, 1, 0), 120);
    EXPECT_EQ(T->VehSpeed(0, 2, 0), 120);
    EXPECT_EQ(T->VehSpeed(0, TrafficTables::LastCar, 0), 72);
}

TEST_P(TrafficStep, LastVehicleKeepsItsLaneAndSpeedWithSomethingAhead) {
    const int n = TrafficTables::LastCar;
    put(1, n, Vr, 1, Vd, 74);
    put(1, 2, Vr, 1, Vd + 950, 71);
    for (int frame = 0; frame < 40; ++frame)
        step(LookAhead100, 1.0f / 60.0f);
    EXPECT_EQ(T->VehLane(1, n, Vr), 1);
    EXPECT_EQ(T->VehSpeed(1, n, Vr), 74);
    EXPECT_EQ(T->VehOffset(1, n, Vr), 25);
    EXPECT_GT(T->VehDist(1, n, Vr), Vd); // it still drives
}

TEST_P(TrafficStep, ZeroLastFrameTimeMovesNothingButSpeedsAndLanesStillChange) {
    put(Vm, Vn, Vr, 1, Vd, 99);
    put(1, 11, Vr, 1, Vd + 950, 77);
    put(2, 6, 2, 2, Vd, 30);
    const auto before = std::make_unique<TrafficTables>(*T);
    step(LookAhead100, 0.0f);
    for (int r = 0; r < 3; ++r)
        for (int m = 0; m < 3; ++m)
            for (int n = 0; n <= TrafficTables::LastCar; ++n)
                ASSERT_EQ(T->VehDist(m, n, r), before->VehDist(m, n, r));
    EXPECT_EQ(T->VehLane(Vm, Vn, Vr), 0);
    EXPECT_EQ(T->VehSpeed(2, 6, 2), 31);
}

TEST_P(TrafficStep, HandsOutEveryVehicleInScanOrderInMetresWhereItIs) {
    put(2, 13, 1, 2, 123456.0, 120);
    T->VehOffset(2, 13, 1) = 33; // mid-slide
    step(LookAhead100, 0.0f, 3);
    ASSERT_EQ(Listed.size(), 180u);
    ASSERT_EQ(Listed.roads(), 3);
    for (std::size_t i = 0; i < Listed.size(); ++i) {
        EXPECT_EQ(Listed.all()[i].Road, static_cast<int>(i / 60));
        EXPECT_EQ(Listed.all()[i].Id, static_cast<int>(i % 60));
    }
    const Vehicle& v = Listed.road(1)[40 + 13];
    EXPECT_EQ(v.Id, 53);
    EXPECT_EQ(v.Lane, 2);
    EXPECT_EQ(v.Kind, car_kind(2));
    EXPECT_EQ(v.Across, 4.0 * 33 / 25);
    EXPECT_EQ(v.Position, 1234.56);
    EXPECT_EQ(v.Speed, 120 * 0.36);
    EXPECT_EQ(Listed.road(2).back().Kind, slow_vehicle_kind(2));
}

TEST_P(TrafficStep, RoadCountBeyondTheTablesRunsTheRoadsThatFitAndNothingElse) {
    park_roads(VehicleTable<int>::Roads);
    put(Vm, Vn, 250, 1, Vd, 99);
    put(1, 11, 250, 1, Vd + 950, 77);
    auto fitting = std::make_unique<TrafficTables>(*T);
    GetParam()(*fitting, TrafficFrame{251, LookAhead100, 0.25f});

    step(LookAhead100, 0.25f, 252);
    EXPECT_EQ(T->VehLane(Vm, Vn, 250), 0); // the last road that fits still runs
    EXPECT_TRUE(*T == *fitting);
    EXPECT_EQ(Listed.roads(), 251);
    EXPECT_EQ(Listed.size(), 251u * 60);
}

TEST_P(TrafficStep, NoRoadsMeansNoWork) {
    const auto before = std::make_unique<TrafficTables>(*T);
    step(LookAhead100, 0.5f, 0);
    step(LookAhead100, 0.5f, -5);
    EXPECT_TRUE(*T == *before);
    EXPECT_EQ(Listed.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Scan, TrafficStep, ::testing::Values(&step_traffic, &step_traffic_plain),
                         [](const ::testing::TestParamInfo<StepFunction>& param) {
                             return param.param == &step_traffic ? std::string("Fast") : std::string("Plain");
                         });

TEST(VehicleTable, RaisesAFaultForAnyIndexOutsideIt) {
    auto tables = std::make_unique<TrafficTables>();
    EXPECT_NO_THROW(tables->VehDist(2, 100, 250) = 1.0);
    EXPECT_THROW(tables->VehDist(3, 0, 0), Fault);
    EXPECT_THROW(tables->VehLane(0, 101, 0), Fault);
    EXPECT_THROW(tables->VehSpeed(0, 0, 251), Fault);
    EXPECT_THROW(tables->VehOffset(-1, 0, 0), Fault);
    EXPECT_THROW(tables->VehSideStep(0, -1, 0), Fault);
    EXPECT_THROW(tables->VehTargetOffset(0, 0, -1), Fault);
}

} // namespace
} // namespace kl
