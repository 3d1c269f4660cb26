// Traffic figures, log rows and the dump, on small tables worked out by hand.
#include "traffic/dump.h"
#include "traffic/idm_model.h"
#include "traffic/log.h"
#include "traffic/statistics.h"
#include "traffic/traffic.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <sstream>
#include <string>

namespace kl {
namespace {

// Two roads, every vehicle in its own lane at speed 100 and the slow one at 75, spaced 1000 apart
// (hundredths of a metre); road 1's lane slot 2 drives 120.
std::unique_ptr<TrafficTables> two_roads() {
    auto T = std::make_unique<TrafficTables>();
    for (int r = 0; r < 2; ++r)
        for (int m = 0; m < 3; ++m)
            for (int n = 0; n <= TrafficTables::LastCar; ++n) {
                T->VehLane(m, n, r) = m;
                T->VehOffset(m, n, r) = T->VehTargetOffset(m, n, r) = 25 * m;
                T->VehSpeed(m, n, r) = n == 19 ? 75 : (r == 1 && m == 2 ? 120 : 100);
                T->VehDist(m, n, r) = 1000.0 * n + 100.0 * r;
            }
    return T;
}

// The vehicles the tables hold, as the model front hands them out.
VehicleList listed(const TrafficTables& T, std::int32_t roads) {
    VehicleList list;
    list_table_vehicles(T, roads, list);
    return list;
}

// Vehicle (0, 5, 1) is half-way from lane 0 to lane 1 at the lane-change minimum of 70, and the
// slow vehicle of road 1's middle lane is 2500 m down the road.
void change_lane_in_progress(TrafficTables& T) {
    T.VehLane(0, 5, 1) = 1;
    T.VehOffset(0, 5, 1) = 10;
    T.VehTargetOffset(0, 5, 1) = 25;
    T.VehSideStep(0, 5, 1) = 1;
    T.VehSpeed(0, 5, 1) = 70;
    T.VehDist(1, 19, 1) = 250000.0;
}

TEST(TrafficStatistics, EqualTheFiguresWorkedOutByHand) {
    auto T = two_roads();
    TrafficStatistics stats;
    stats.restart(listed(*T, 2));
    change_lane_in_progress(*T);
    const TrafficFigures F = stats.close_window(listed(*T, 2), 0.5, 12.25);

    EXPECT_EQ(F.Time, 12.25);
    // Lane 0: 20 + 19 vehicles, speeds 19 x 100 + 75 and 18 x 100 + 75 = 3850, x 1.296 km/h each.
    EXPECT_EQ(F.Lanes[0].Vehicles, 39);
    EXPECT_NEAR(F.Lanes[0].MeanSpeedKmh, 4989.6 / 39, 1e-9);
    EXPECT_EQ(F.Lanes[0].ChangesIn, 0);
    // Lane 1: both roads' middle lanes and the vehicle still sliding into it: 1975 + 1975 + 70.
    EXPECT_EQ(F.Lanes[1].Vehicles, 41);
    EXPECT_NEAR(F.Lanes[1].MeanSpeedKmh, 5209.92 / 41, 1e-9);
    EXPECT_EQ(F.Lanes[1].ChangesIn, 1);
    // Lane 2: 1975 + 19 x 120 + 75 = 4330 over 40 = 108.25, 140.292 km/h.
    EXPECT_EQ(F.Lanes[2].Vehicles, 40);
    EXPECT_NEAR(F.Lanes[2].MeanSpeedKmh, 140.292, 1e-9);
    EXPECT_EQ(F.Lanes[2].ChangesIn, 0);
    // 12200 over 120 vehicles; one change in half a second; from 0 to 2500 m.
    EXPECT_NEAR(F.MeanSpeedKmh, 131.76, 1e-9);
    EXPECT_DOUBLE_EQ(F.ChangesPerMinute, 120.0);
    EXPECT_DOUBLE_EQ(F.SpreadMetres, 2500.0);

    // The next window compares with this one: the change is not counted twice.
    const TrafficFigures next = stats.close_window(listed(*T, 2), 0.5, 12.75);
    EXPECT_EQ(next.Lanes[1].ChangesIn, 0);
    EXPECT_EQ(next.ChangesPerMinute, 0.0);

    // The automated vehicles of both roads are counted; the program's own traffic has none.
    EXPECT_EQ(F.Automated, 0);
    const VehicleList all = listed(*T, 2);
    VehicleList some;
    some.start(2);
    for (Vehicle v : all.all()) {
        v.Automated = v.Id % 20 == 3;
        some.add(v);
    }
    EXPECT_EQ(stats.close_window(some, 0.5, 13.25).Automated, 6);
}

TEST(TrafficStatistics, CountNoChangesAcrossARestartOrWithoutABase) {
    auto T = two_roads();
    TrafficStatistics stats;
    change_lane_in_progress(*T);
    // No window before: nothing to compare with.
    EXPECT_EQ(stats.close_window(listed(*T, 2), 0.5, 0.5).ChangesPerMinute, 0.0);

    // A restart puts the vehicle back in its start lane: that is no lane change.
    auto fresh = two_roads();
    stats.restart(listed(*fresh, 2));
    const TrafficFigures F = stats.close_window(listed(*fresh, 2), 0.5, 1.0);
    EXPECT_EQ(F.Lanes[0].ChangesIn + F.Lanes[1].ChangesIn + F.Lanes[2].ChangesIn, 0);

    // A base of another road count does not fit the tables.
    stats.restart(listed(*fresh, 1));
    EXPECT_EQ(stats.close_window(listed(*T, 2), 0.5, 1.5).ChangesPerMinute, 0.0);

    // Listed in another order (a road fed by an inflow reuses the places of vehicles gone), each
    // vehicle is compared with itself: vehicle 1 changes from lane 1 to 2, vehicle 2 stays in lane 2
    // and vehicle 9, new in vehicle 0's place, changed nothing.
    VehicleList before, after;
    before.start(1), after.start(1);
    for (const std::int32_t id : {0, 1, 2})
        before.add(Vehicle{0, id, id, 0, 0, 0, 30, 0});
    for (const auto& [id, lane] : {std::pair{2, 2}, std::pair{1, 2}, std::pair{9, 0}})
        after.add(Vehicle{0, id, lane, 0, 0, 0, 30, 0});
    stats.restart(before);
    const TrafficFigures reordered = stats.close_window(after, 0.5, 2.0);
    EXPECT_EQ(reordered.Lanes[2].ChangesIn, 1);
    EXPECT_EQ(reordered.Lanes[0].ChangesIn + reordered.Lanes[1].ChangesIn, 0);
}

TEST(TrafficStatistics, CoverOnlyTheRoadsTheTablesHold) {
    auto T = std::make_unique<TrafficTables>();
    // No road: no vehicles and no means; a negative count is no road either.
    for (const std::int32_t roads : {0, -3}) {
        const TrafficFigures F = compute_traffic_figures(listed(*T, roads), {}, 0.5, 0);
        EXPECT_EQ(F.Lanes[0].Vehicles + F.Lanes[1].Vehicles + F.Lanes[2].Vehicles, 0);
        EXPECT_TRUE(std::isnan(F.MeanSpeedKmh));
        EXPECT_TRUE(std::isnan(F.Lanes[1].MeanSpeedKmh));
        EXPECT_EQ(F.SpreadMetres, 0.0);
    }
    // More roads than the tables hold: the 251 there are, all in lane 0 of a zeroed table.
    const TrafficFigures F = compute_traffic_figures(listed(*T, 300), {}, 0.5, 0);
    EXPECT_EQ(F.Lanes[0].Vehicles, 251 * 60);
    EXPECT_EQ(roads_in_tables(300), 251);
}

TEST(TrafficLog, RowsMatchTheHeaderAndLeaveAnEmptyLaneBlank) {
    auto T = two_roads();
    TrafficStatistics stats;
    stats.restart(listed(*T, 2));
    change_lane_in_progress(*T);
    const std::string row = traffic_log_row(stats.close_window(listed(*T, 2), 0.5, 12.25));
    EXPECT_EQ(row, "12.250,39,127.94,0,41,127.07,1,40,140.29,0,131.76,120.00,2500.00\n");
    const std::string header = traffic_log_header();
    EXPECT_EQ(header.substr(0, 30), "time_s,lane0_vehicles,lane0_km");
    auto columns = [](const std::string& line) { return std::count(line.begin(), line.end(), ','); };
    EXPECT_EQ(columns(header), columns(row));

    // Everybody in lane 0 or 1: lane 2 has no mean speed.
    for (int r = 0; r < 2; ++r)
        for (int n = 0; n <= TrafficTables::LastCar; ++n)
            T->VehLane(2, n, r) = 1;
    const std::string empty = traffic_log_row(compute_traffic_figures(listed(*T, 2), {}, 0.5, 1));
    EXPECT_NE(empty.find(",0,,0,"), std::string::npos) << empty;
}

// The numbers of the "VehDist" table of a dump, in order.
std::vector<std::string> dist_texts(const std::string& dump) {
    std::vector<std::string> out;
    std::size_t i = dump.find("\"VehDist\": [");
    const std::size_t end = dump.find("\"VehSpeed\"");
    std::string token;
    for (i += 12; i < end; ++i) {
        const char c = dump[i];
        if (c == ',' || c == ']' || c == ' ' || c == '\n' || c == '[') {
            if (!token.empty()) out.push_back(token);
            token.clear();
        } else {
            token += c;
        }
    }
    return out;
}

TEST(TrafficDump, ReadsBackExactlyAndNestsRoadLaneVehicle) {
    auto T = std::make_unique<TrafficTables>();
    const double awkward[] = {0.1 + 0.2, 1.0 / 3.0, 1e-300, 123456789.125, 4.9e-324, 1e21};
    for (int i = 0; i < 6; ++i)
        T->VehDist(1, i, 0) = awkward[i];
    T->VehDist(2, 19, 1) = std::numeric_limits<double>::infinity();
    T->VehLane(2, 19, 1) = 2;
    T->VehSpeed(0, 0, 0) = -7;

    std::ostringstream out;
    write_traffic_dump(out, *T, 2, 300, 0.033f);
    const std::string dump = out.str();
    EXPECT_EQ(dump.rfind("{\"RoadCount\": 2, \"frames\": 300, \"LastFrameTime\": 0.033,", 0), 0u)
        << dump.substr(0, 80);

    const std::vector<std::string> dist = dist_texts(dump);
    ASSERT_EQ(dist.size(), 2u * 3 * 20);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(std::strtod(dist[20 + i].c_str(), nullptr), awkward[i]) << dist[20 + i];
    EXPECT_EQ(dist[20], "0.30000000000000004");
    // JSON has no infinity.
    EXPECT_EQ(dist.back(), "null");
    // [road][lane slot][vehicle]: road 1's last lane ends in 2, road 0's first speed is -7.
    EXPECT_NE(dump.find(", 2]]\n]"), std::string::npos);
    EXPECT_NE(dump.find("\"VehSpeed\": [\n [[-7, 0,"), std::string::npos);
}

TEST(TrafficDump, HoldsTheRoadsOfTheTables) {
    auto T = std::make_unique<TrafficTables>();
    std::ostringstream none, many;
    write_traffic_dump(none, *T, 0, 0, 0.0f);
    EXPECT_NE(none.str().find("\"VehSideStep\": []}"), std::string::npos) << none.str();
    write_traffic_dump(many, *T, 300, 1, 0.5f);
    EXPECT_EQ(many.str().rfind("{\"RoadCount\": 300,", 0), 0u);
    EXPECT_EQ(dist_texts(many.str()).size(), 251u * 60);
    // The car-following model's dump says whose tables they are; the program's own says nothing.
    std::ostringstream idm;
    IdmTraffic().dump(idm, 1, 1, 0.5f);
    EXPECT_EQ(idm.str().rfind("{\"model\": \"idm\", \"RoadCount\": 1,", 0), 0u) << idm.str().substr(0, 40);
}

} // namespace
} // namespace kl
