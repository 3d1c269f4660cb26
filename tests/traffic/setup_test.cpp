// Filling the traffic tables at set-up and restart, and the random source they are filled from.
#include "traffic/traffic.h"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace kl {
namespace {

constexpr int LastCar = TrafficTables::LastCar;

// Hands out the given numbers in turn, then keeps repeating the last one.
class ScriptedSource : public UniformSource {
  public:
    explicit ScriptedSource(std::vector<double> numbers) : Numbers(std::move(numbers)) {}
    double next() override {
        ++Draws;
        return Numbers[std::min(Used++, Numbers.size() - 1)];
    }
    std::vector<double> Numbers;
    std::size_t Used = 0;
    int Draws = 0;
};

TEST(TrafficSetUp, FillsEachLaneWithCarsSpacedAlongTheRoadAndOneSlowVehicleAhead) {
    auto t = std::make_unique<TrafficTables>();
    RandomSource random(7);
    set_up_traffic(*t, 3, random);
    for (int r = 0; r < 3; ++r) {
        for (int m = 0; m < 3; ++m) {
            for (int n = 0; n <= LastCar; ++n) {
                SCOPED_TRACE(testing::Message() << m << "," << n << "," << r);
                EXPECT_EQ(t->VehLane(m, n, r), m);
                EXPECT_EQ(t->VehOffset(m, n, r), 25 * m);
                EXPECT_EQ(t->VehTargetOffset(m, n, r), 25 * m);
                EXPECT_EQ(t->VehSideStep(m, n, r), 0);
                const double d = t->VehDist(m, n, r);
                const int s = t->VehSpeed(m, n, r);
                if (n < LastCar) {
                    EXPECT_GE(d, 4200.0 * n);
                    EXPECT_LT(d, 4200.0 * n + 1800);
                    EXPECT_GE(s, 100);
                    EXPECT_LE(s, 120);
                } else {
                    EXPECT_GE(d, 88200.0);
                    EXPECT_LT(d, 97200.0);
                    EXPECT_GE(s, 70);
                    EXPECT_LE(s, 79);
                }
            }
        }
    }
    // Only the simulated part of the tables is touched.
    EXPECT_EQ(t->VehDist(0, LastCar + 1, 0), 0.0);
    EXPECT_EQ(t->VehSpeed(0, 0, 3), 0);
}

TEST(TrafficSetUp, SpreadsTheWholeSpeedRanges) {
    auto t = std::make_unique<TrafficTables>();
    RandomSource random(11);
    set_up_traffic(*t, 250, random);
    std::vector<int> cars(121), slow(80);
    for (int r = 0; r < 250; ++r)
        for (int m = 0; m < 3; ++m)
            for (int n = 0; n <= LastCar; ++n)
                ++(n < LastCar ? cars : slow)[static_cast<std::size_t>(t->VehSpeed(m, n, r))];
    for (int s = 100; s <= 120; ++s)
        EXPECT_GT(cars[static_cast<std::size_t>(s)], 0) << s;
    for (int s = 70; s <= 79; ++s)
        EXPECT_GT(slow[static_cast<std::size_t>(s)], 0) << s;
    // The end values get half the share of the others.
    EXPECT_LT(cars[100], cars[110]);
    EXPECT_LT(cars[120], cars[110]);
}

TEST(TrafficSetUp, DrawsDistanceThenSpeedAndRoundsHalvesToEven) {
    // 20 x 0.025 and 20 x 0.075 are exactly one half; 9 x 5/18 is 2.5.
    ASSERT_EQ(100.0 + 20.0 * 0.025, 100.5);
    ASSERT_EQ(100.0 + 20.0 * 0.075, 101.5);
    ASSERT_EQ(70.0 + 9.0 * (5.0 / 18.0), 72.5);
    std::vector<double> numbers(40, 0.0);
    numbers[0] = 0.5;   // distance of vehicle 0
    numbers[1] = 0.025; // speed of vehicle 0
    numbers[3] = 0.075; // speed of vehicle 1
    numbers[38] = 1.0 / 3.0;
    numbers[39] = 5.0 / 18.0; // speed of the slow vehicle
    ScriptedSource source(numbers);
    auto t = std::make_unique<TrafficTables>();
    set_up_traffic(*t, 1, source);
    EXPECT_EQ(t->VehDist(0, 0, 0), 900.0);
    EXPECT_EQ(t->VehSpeed(0, 0, 0), 100);
    EXPECT_EQ(t->VehDist(0, 1, 0), 4200.0);
    EXPECT_EQ(t->VehSpeed(0, 1, 0), 102);
    EXPECT_EQ(t->VehDist(0, LastCar, 0), (1000.0 + 29400.0) * 3);
    EXPECT_EQ(t->VehSpeed(0, LastCar, 0), 72);
    EXPECT_EQ(source.Draws, 2 * 60);
}

TEST(TrafficSetUp, SameSeedGivesTheSameTrafficAndRestartRebuildsItCompletely) {
    auto a = std::make_unique<TrafficTables>();
    auto b = std::make_unique<TrafficTables>();
    RandomSource ra(42), rb(42), rc(43);
    set_up_traffic(*a, 4, ra);
    set_up_traffic(*b, 4, rb);
    EXPECT_TRUE(*a == *b);

    // Drive b for a while (lane changes included), then restart it from the same seed.
    for (int frame = 0; frame < 3000; ++frame)
        step_traffic(*b, TrafficFrame{4, 1.0f / 30, 1.0f / 30});
    EXPECT_FALSE(*a == *b);
    rb.seed(42);
    set_up_traffic(*b, 4, rb);
    EXPECT_TRUE(*a == *b);

    set_up_traffic(*b, 4, rc);
    EXPECT_FALSE(*a == *b);
}

TEST(TrafficSetUp, RoadCountBeyondTheTablesFillsOnlyTheRoadsThatFit) {
    auto t = std::make_unique<TrafficTables>();
    ScriptedSource source({0.5});
    set_up_traffic(*t, 252, source);
    EXPECT_EQ(source.Draws, 2 * 60 * 251);
    EXPECT_EQ(t->VehSpeed(2, LastCar, 250), 74);

    set_up_traffic(*t, 0, source);
    set_up_traffic(*t, -3, source);
    EXPECT_EQ(source.Draws, 2 * 60 * 251);
}

TEST(RandomSource, GivesARepeatableUniformSequenceInTheHalfOpenUnitInterval) {
    RandomSource a(1234), b(1234), c(1235);
    double sum = 0;
    int below_tenth = 0;
    bool differs = false;
    std::vector<double> first;
    for (int i = 0; i < 100000; ++i) {
        const double u = a.next();
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
        ASSERT_EQ(u, b.next());
        differs = differs || u != c.next();
        sum += u;
        below_tenth += u < 0.1;
        if (i < 10) first.push_back(u);
    }
    EXPECT_TRUE(differs);
    EXPECT_NEAR(sum / 100000, 0.5, 0.01);
    EXPECT_NEAR(below_tenth, 10000, 500);
    a.seed(1234);
    for (const double u : first)
        EXPECT_EQ(a.next(), u);
}

} // namespace
} // namespace kl
