// The car-following model on the roads fed by an inflow: vehicles arrive at the rate asked for and
// none is lost, nobody drives into the closed lane or past the on-ramp's end, and the bottleneck
// lets through what the equilibrium curve says it can.
#include "traffic/idm_model.h"
#include "traffic/ring.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace kl {
namespace {

// Coarse, so that an hour of traffic takes well under a second.
constexpr float Dt = 0.25f;
constexpr int PerMinute = 240;

double length_of(const Vehicle& v) {
    return VehicleLengths().of(v.Kind % 3, v.Kind >= 3);
}

// One road of a scenario at its own parameters, with the inflows given.
struct Road {
    Road(TrafficScenario scenario, double inflow, double ramp_inflow, std::uint64_t seed = 7) : Random(seed) {
        Model.parameters() = scenario_default_parameters(scenario);
        ScenarioSettings s = default_settings(scenario);
        s.Inflow = inflow;
        s.RampInflow = ramp_inflow;
        Model.set_scenario(s);
        Model.set_up(1, Random, List);
        Zone = bottleneck_of(scenario, s.RoadLength);
    }
    void step() { Model.step(TrafficFrame{1, Dt, Dt}, List); }

    RandomSource Random;
    IdmTraffic Model;
    VehicleList List;
    Bottleneck Zone;
};

// The vehicles of one lane by position, and whether any two overlap.
bool any_overlap(const VehicleList& list) {
    std::vector<Vehicle> order(list.all().begin(), list.all().end());
    std::sort(order.begin(), order.end(), [](const Vehicle& a, const Vehicle& b) {
        return a.Lane != b.Lane ? a.Lane < b.Lane : a.Position < b.Position;
    });
    for (std::size_t i = 1; i < order.size(); ++i)
        if (order[i].Lane == order[i - 1].Lane &&
            order[i].Position - order[i - 1].Position <
                (length_of(order[i]) + length_of(order[i - 1])) / 2 - 1e-9)
            return true;
    return false;
}

// An hour on the on-ramp road below its capacity (900 a lane, 600 onto the ramp): the vehicles that
// arrived at each lane (entered there or still waiting) are a Poisson count of the rate, within four
// standard deviations; each vehicle enters at its lane's start (the ramp's at RampStart, on the
// ramp's strip), keeps its id, leaves only at the road's end and never comes back. With the inflows
// then stopped, every vehicle that entered leaves. The dump holds every vehicle on the road.
TEST(IdmInflow, EveryLaneGetsItsRateAndEveryVehicleThatEntersLeavesAtTheEnd) {
    Road road(TrafficScenario::Onramp, 900, 600);
    const double length = road.Model.road_length();
    ASSERT_EQ(length, DefaultRoadLength);
    std::map<std::int32_t, Vehicle> on_road;
    std::set<std::int32_t> gone;
    std::int64_t entered[4] = {}, left = 0;
    const auto step = [&] {
        road.step();
        std::map<std::int32_t, Vehicle> now;
        for (const Vehicle& v : road.List.all()) {
            ASSERT_TRUE(now.emplace(v.Id, v).second) << "vehicle " << v.Id << " twice";
            ASSERT_EQ(gone.count(v.Id), 0u) << "vehicle " << v.Id << " came back";
            if (on_road.count(v.Id)) continue;
            ASSERT_TRUE(v.Lane >= 0 && v.Lane <= RampLane);
            const double start = v.Lane == RampLane ? road.Zone.RampStart : 0.0;
            ASSERT_NEAR(v.Position, start + length_of(v) / 2, 1e-9) << "vehicle " << v.Id;
            if (v.Lane == RampLane) {
                EXPECT_NEAR(v.Across, ramp_across(road.Zone, v.Position), 1e-9);
            }
            entered[v.Lane] += 1;
        }
        for (const auto& [id, v] : on_road)
            if (!now.count(id)) {
                // It left in this step: it was within one step's travel of the end.
                ASSERT_GE(v.Position + v.Speed * Dt + 1.0, length) << "vehicle " << id << " lost";
                gone.insert(id);
                left += 1;
            }
        on_road = std::move(now);
    };
    for (int i = 0; i < 60 * PerMinute; ++i) {
        step();
        if (HasFatalFailure()) return;
    }
    for (std::int32_t lane = 0; lane <= RampLane; ++lane) {
        const double mean = lane == RampLane ? 600 : 900;
        const double arrived = static_cast<double>(entered[lane] + road.Model.waiting(0, lane));
        EXPECT_NEAR(arrived, mean, 4 * std::sqrt(mean)) << "lane " << lane;
    }
    EXPECT_EQ(entered[0] + entered[1] + entered[2] + entered[3],
              left + static_cast<std::int64_t>(road.List.size()));

    std::ostringstream out;
    road.Model.dump(out, 1, 0, Dt);
    const std::string dump = out.str();
    EXPECT_NE(dump.find("\"scenario\": \"onramp\", \"ring_length_m\": null"), std::string::npos);
    EXPECT_NE(dump.find("\"inflow_veh_per_h\": 900, \"ramp_inflow_veh_per_h\": 600"), std::string::npos);
    const auto vehicles_at = dump.find("\"vehicles\": [");
    ASSERT_NE(vehicles_at, std::string::npos);
    // One line a vehicle, then the list's end and the dump's.
    EXPECT_EQ(std::count(dump.begin() + static_cast<std::ptrdiff_t>(vehicles_at), dump.end(), '\n'),
              static_cast<std::ptrdiff_t>(road.List.size()) + 2);

    road.Model.set_inflows(0, 0);
    for (int i = 0; i < 15 * PerMinute; ++i) {
        step();
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(road.Model.scenario_settings().Inflow, 0.0);
    EXPECT_EQ(road.List.size(), 0u);
    EXPECT_EQ(road.Model.waiting(0), 0);
    EXPECT_EQ(entered[0] + entered[1] + entered[2] + entered[3], left);
}

// Twenty minutes of each bottleneck at its default inflows, a queue standing before it: at every step
// no vehicle in the closed stretch of the right lane, none on the on-ramp before its start or past
// its end, none in the vehicle ahead in its lane, none going backwards; the same seed gives the same
// traffic, another seed other traffic.
TEST(IdmInflow, NobodyEntersTheClosureOrPassesTheRampsEndEvenInAStandingQueue) {
    for (const TrafficScenario scenario : {TrafficScenario::Roadworks, TrafficScenario::Onramp}) {
        SCOPED_TRACE(traffic_scenario_name(scenario));
        Road road(scenario, default_inflow(scenario), default_ramp_inflow(scenario));
        Road again(scenario, default_inflow(scenario), default_ramp_inflow(scenario));
        Road other(scenario, default_inflow(scenario), default_ramp_inflow(scenario), 8);
        double slowest = 1e9;
        for (int i = 0; i < 20 * PerMinute; ++i) {
            road.step();
            for (const Vehicle& v : road.List.all()) {
                ASSERT_GE(v.Speed, 0.0);
                const double front = v.Position + length_of(v) / 2, tail = v.Position - length_of(v) / 2;
                if (scenario == TrafficScenario::Roadworks) {
                    ASSERT_NE(v.Lane, RampLane);
                    ASSERT_FALSE(v.Lane == RightLane && front > road.Zone.Start && tail < road.Zone.End)
                        << "vehicle " << v.Id << " at " << v.Position;
                } else if (v.Lane == RampLane) {
                    ASSERT_GE(tail, road.Zone.RampStart - 1e-9) << "vehicle " << v.Id;
                    ASSERT_LE(front, road.Zone.End + 1e-9) << "vehicle " << v.Id;
                }
                if (v.Lane < RampLane && front < road.Zone.Start) slowest = std::min(slowest, v.Speed);
            }
            ASSERT_FALSE(any_overlap(road.List)) << "step " << i;
        }
        EXPECT_LT(slowest, 1.0) << "no queue stood";
        for (int i = 0; i < 5 * PerMinute; ++i) {
            again.step();
            other.step();
        }
        std::ostringstream a, b, c;
        again.Model.dump(a, 1, 0, Dt);
        other.Model.dump(c, 1, 0, Dt);
        // The first road's traffic five minutes in, once more from the start.
        Road replay(scenario, default_inflow(scenario), default_ramp_inflow(scenario));
        for (int i = 0; i < 5 * PerMinute; ++i)
            replay.step();
        replay.Model.dump(b, 1, 0, Dt);
        EXPECT_EQ(a.str(), b.str());
        EXPECT_NE(a.str(), c.str());
    }
}

// The lowest speed of the main lanes' vehicles more than `upstream` metres before the bottleneck over
// `minutes`, and the vehicles an hour passing `at` metres.
struct Watched {
    double Slowest = 1e9;
    double PerHour = 0;
};
Watched watch(Road& road, int minutes, double at, double upstream = 500) {
    Watched w;
    std::map<std::int32_t, double> before;
    int passed = 0;
    for (int i = 0; i < minutes * PerMinute; ++i) {
        road.step();
        std::map<std::int32_t, double> now;
        for (const Vehicle& v : road.List.all()) {
            if (const auto b = before.find(v.Id); b != before.end() && b->second < at && v.Position >= at)
                ++passed;
            now[v.Id] = v.Position;
            if (v.Lane < RampLane && v.Position < road.Zone.Start - upstream)
                w.Slowest = std::min(w.Slowest, v.Speed);
        }
        before = std::move(now);
    }
    w.PerHour = passed * 60.0 / minutes;
    return w;
}

// The lane's capacity is the top of the equilibrium curve. Roadworks: at 900 a lane (2,700 an hour,
// well below the two open lanes' capacity) the road upstream stays free; at the default 1,500 a
// lane (4,500) a queue reaches back past the approach, and the flow discharged 300 m beyond the
// closure over ten minutes lies below the two lanes' capacity. On-ramp: the main road's default
// flow alone stays free; with the ramp's it breaks down within ten minutes.
TEST(IdmInflow, TheBottleneckQueuesOnlyWhenTheDemandExceedsItsCapacity) {
    const IdmParameters P = scenario_default_parameters(TrafficScenario::Roadworks);
    const double capacity = lane_capacity(P, 4.0);
    for (double density = 0.002; density < 1.0 / 6.0; density += 0.0005)
        ASSERT_LE(equilibrium_flow(P, density, 4.0), capacity * (1 + 1e-12)) << density;
    EXPECT_NEAR(capacity * 3600, 1888, 1.0);

    Road light(TrafficScenario::Roadworks, 900, 0);
    watch(light, 5, 0);
    EXPECT_GT(watch(light, 10, light.Zone.End + 300).Slowest, 20.0);

    Road heavy(TrafficScenario::Roadworks, 1500, 0);
    watch(heavy, 10, 0);
    const Watched discharged = watch(heavy, 10, heavy.Zone.End + 300);
    EXPECT_LT(discharged.Slowest, 2.0) << "no queue upstream of the approach";
    EXPECT_LT(discharged.PerHour, 2 * capacity * 3600);
    // A zipper that stalls (the lanes beside the closure standing for a vehicle that cannot change)
    // passes about half of it.
    EXPECT_GT(discharged.PerHour, 0.65 * 2 * capacity * 3600);

    Road main_only(TrafficScenario::Onramp, default_inflow(TrafficScenario::Onramp), 0);
    EXPECT_GT(watch(main_only, 15, 0).Slowest, 20.0);
    Road merging(TrafficScenario::Onramp, default_inflow(TrafficScenario::Onramp),
                 default_ramp_inflow(TrafficScenario::Onramp));
    EXPECT_LT(watch(merging, 10, 0, 0).Slowest, 5.0);
}

} // namespace
} // namespace kl
