// The summary of a run: which frames count (the last third, of a run of known length or not), the
// figures worked out of them by hand, and the rows as written.
#include "traffic/ring.h"
#include "traffic/run_summary.h"

#include <gtest/gtest.h>
#include <sstream>

namespace kl {
namespace {

// Road 0 with a vehicle of each speed (lane 0; the last on the on-ramp when ramp), road 1 empty.
VehicleList two_roads(std::vector<double> speeds, bool ramp = false) {
    VehicleList list;
    list.start(2);
    for (std::size_t i = 0; i < speeds.size(); ++i) {
        Vehicle v;
        v.Id = static_cast<std::int32_t>(i);
        v.Lane = ramp && i + 1 == speeds.size() ? RampLane : 0;
        v.Speed = speeds[i];
        list.add(v);
    }
    return list;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(RunSummary, AKnownRunCountsItsLastThirdAndTheRowsSayWhatItCameTo) {
    SummaryAccumulator summary;
    summary.start(9);
    // Six frames that must not count, then three of 0.5 s each: speeds 2 and 6 m/s, then 4 and 4 with
    // a third on the on-ramp at 1 m/s, then a paused frame that adds nothing.
    for (int f = 0; f < 6; ++f)
        summary.frame(two_roads({30, 30}), 0.5);
    summary.frame(two_roads({2, 6}), 0.5);
    summary.frame(two_roads({4, 4, 1}, true), 0.5);
    summary.frame(two_roads({99}), 0.5, false);
    const std::vector<RoadSpeeds> speeds = summary.last_third(2);
    ASSERT_EQ(speeds.size(), 2u);
    // Samples 2, 6, 4, 4, 1 alike weighted: mean 17 / 5, squares 73 / 5.
    std::vector<SummaryRow> rows(2);
    rows[0] = {0, 3, speeds[0], 250.0, 0.05};
    rows[1] = {1, 0, speeds[1], 250.0, std::nullopt};
    std::ostringstream out;
    const double values[] = {1.5, 2.5};
    write_summary(out, "time_headway_s", values, rows);
    const std::vector<std::string> lines = lines_of(out.str());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], kSummaryHeader);
    std::istringstream row(lines[1]);
    std::vector<std::string> f;
    for (std::string field; std::getline(row, field, ',');)
        f.push_back(field);
    ASSERT_EQ(f.size(), 9u) << lines[1];
    EXPECT_EQ(f[0] + "|" + f[1] + "|" + f[2] + "|" + f[3], "0|time_headway_s|1.5|3");
    EXPECT_DOUBLE_EQ(std::stod(f[4]), 17.0 / 5);
    EXPECT_NEAR(std::stod(f[5]), std::sqrt(73.0 / 5 - (17.0 / 5) * (17.0 / 5)), 1e-12);
    EXPECT_EQ(f[6], "1");
    // Main-lane speeds 8 and 8 over the two moving seconds' halves: 8 m/s of vehicles on 3 x 250 m.
    EXPECT_DOUBLE_EQ(std::stod(f[7]), 8.0 / 750 * 3600);
    EXPECT_EQ(f[8], "0.05");
    // An empty road has no speeds and no flow; off the ring no growth rate.
    EXPECT_EQ(lines[2], "1,time_headway_s,2.5,0,,,,0,");
    // Nothing swept: parameter and value empty.
    std::ostringstream plain;
    write_summary(plain, "", {}, std::span(rows).first(1));
    EXPECT_EQ(lines_of(plain.str())[1].substr(0, 6), "0,,,3,");
}

TEST(RunSummary, ARunOfUnknownLengthOrCutShortCountsTheLastThirdOfWhatItRan) {
    // Speed = frame number: the last third of 3000 frames has mean 2499.5, the whole run 1499.5.
    for (const std::optional<std::int64_t> planned :
         {std::optional<std::int64_t>{}, std::optional<std::int64_t>{9000}}) {
        SummaryAccumulator summary;
        summary.start(planned);
        for (int f = 0; f < 3000; ++f)
            summary.frame(two_roads({static_cast<double>(f)}), 0.1);
        const RoadSpeeds s = summary.last_third(1)[0];
        EXPECT_NEAR(s.Speed / s.VehicleSeconds, 2499.5, 3000.0 / 256);
        EXPECT_NEAR(s.Seconds, 100.0, 0.1 * 3000 / 256 + 1e-9);
    }
    // A restart at frame 20 of 30: the last third of the run is frames 20 to 29, all the new traffic's.
    SummaryAccumulator summary;
    summary.start(30);
    for (int f = 0; f < 20; ++f)
        summary.frame(two_roads({50}), 0.1);
    summary.start(30, summary.frames());
    for (int f = 20; f < 30; ++f)
        summary.frame(two_roads({static_cast<double>(f)}), 0.1);
    const RoadSpeeds s = summary.last_third(1)[0];
    EXPECT_DOUBLE_EQ(s.Speed / s.VehicleSeconds, 24.5);
    EXPECT_EQ(s.Lowest, 20.0);
}

// The ring road's rate is ring_growth_rate's for its vehicles spread evenly over three lanes.
TEST(RunSummary, TheRingsGrowthRateIsThatOfItsLanes) {
    const IdmParameters P = scenario_default_parameters(TrafficScenario::Ring);
    std::vector<Vehicle> cars(60);
    EXPECT_NEAR(ring_road_growth_rate(P, 250, cars, VehicleLengths{}),
                ring_growth_rate(P, 250, 20, VehicleLengths{}.of(0, false)), 1e-12);
    EXPECT_GT(ring_road_growth_rate(P, 250, cars, VehicleLengths{}), 0.0);
    EXPECT_LT(ring_road_growth_rate(P, 1500, cars, VehicleLengths{}), 0.0);
    EXPECT_TRUE(std::isnan(ring_road_growth_rate(P, 250, {}, VehicleLengths{})));
}

} // namespace
} // namespace kl
