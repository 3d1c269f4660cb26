// Long runs with a fixed seed and uneven frame times: the traffic step against a separately written
// implementation kept here, and the fast step against the plain scan.
#include "traffic/traffic.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace kl {
namespace {

// Where a vehicle is handed out: its road and id, metres across and along.
struct Spot {
    int road, id;
    double across, along;
    bool operator==(const Spot&) const = default;
};

std::vector<Spot> spots(const VehicleList& list) {
    std::vector<Spot> out;
    for (const Vehicle& v : list.all())
        out.push_back({v.Road, v.Id, v.Across, v.Position});
    return out;
}

// One frame of a step function, and the vehicles the model front would hand out after it.
template <typename Step> std::vector<Spot> stepped(Step step, TrafficTables& t, const TrafficFrame& frame) {
    step(t, frame);
    VehicleList list;
    list_table_vehicles(t, frame.RoadCount, list);
    return spots(list);
}

// The traffic written once more, independently and as directly as possible: arrays per road of
// 3 lane slots x 20 vehicles, no checks beyond what the loops guarantee, and a tally of decisions so
// the test can tell that the run exercised them.
class ReferenceTraffic {
  public:
    explicit ReferenceTraffic(int roads) : Roads(roads), V(static_cast<std::size_t>(roads)) {}

    struct Vehicle {
        int lane, speed, offset, target, step;
        double dist;
    };
    struct Tally {
        int to_middle = 0, to_lane0 = 0, to_lane2 = 0, outer_takes_speed = 0, middle_takes_speed = 0;
    };

    void set_up(UniformSource& u) {
        for (int r = 0; r < Roads; ++r) {
            for (int m = 0; m < 3; ++m) {
                for (int n = 0; n < 20; ++n) {
                    Vehicle& v = at(m, n, r);
                    v.lane = m;
                    v.target = 25 * m;
                    v.offset = 25 * m;
                    v.step = 0;
                    if (n < 19) {
                        v.dist = (600 * u.next() + 1400 * n) * 3.0;
                        v.speed = static_cast<int>(std::nearbyint(100 + 20 * u.next()));
                    } else {
                        v.dist = (3000 * u.next() + 1400 * 21) * 3.0;
                        v.speed = static_cast<int>(std::nearbyint(70 + 9 * u.next()));
                    }
                }
            }
        }
    }

    void frame(float FrameTime, float LastFrameTime, std::vector<Spot>& placed) {
        placed.clear();
        for (int r = 0; r < Roads; ++r) {
            for (int m = 0; m < 3; ++m) {
                for (int n = 0; n < 20; ++n) {
                    Vehicle& v = at(m, n, r);
                    if (v.speed < 120 && n < 19) {
                        v.speed++;
                        if (v.speed >= 120) v.speed = 120;
                    }
                    if (n < 19) look_ahead(m, n, r, FrameTime);
                    v.dist += static_cast<double>(LastFrameTime) * v.speed * 36;
                    v.offset += v.step;
                    if (v.offset == v.target) v.step = 0;
                    placed.push_back({r, 20 * m + n, 4 * v.offset / 25.0, v.dist / 100});
                }
            }
        }
    }

    Vehicle& at(int m, int n, int r) { return V[static_cast<std::size_t>(r)][m][n]; }

    int Roads;
    Tally Seen;

  private:
    bool someone_near(int m, int n, int r, int lane) {
        Vehicle& v = at(m, n, r);
        for (int mx = 0; mx < 3; ++mx)
            for (int nx = 0; nx < 20; ++nx) {
                if (mx == m && nx == n) continue;
                const Vehicle& x = at(mx, nx, r);
                if (x.lane == lane &&
                    (std::abs(v.dist - x.dist) < 900 || std::abs(v.dist - x.dist + v.speed) < 1020))
                    return true;
            }
        return false;
    }

    void change(Vehicle& v, int to) {
        v.offset = 25 * v.lane;
        v.step = to - v.lane;
        v.lane = to;
        v.target = 25 * to;
        if (v.speed < 70) v.speed = 70;
    }

    void look_ahead(int m, int n, int r, float FrameTime) {
        Vehicle& v = at(m, n, r);
        for (int mw = 0; mw < 3; ++mw) {
            for (int nw = 0; nw < 20; ++nw) {
                if (mw == m && nw == n) continue;
                const Vehicle& w = at(mw, nw, r);
                const double reach = static_cast<double>(FrameTime) * v.speed * 36;
                if (w.lane != v.lane || !(v.dist + 900 <= w.dist && w.dist <= v.dist + 900 + reach)) continue;
                if (v.lane == 1) {
                    if (!someone_near(m, n, r, 0)) {
                        change(v, 0);
                        ++Seen.to_lane0;
                    } else if (!someone_near(m, n, r, 2)) {
                        change(v, 2);
                        ++Seen.to_lane2;
                    } else {
                        v.speed = w.speed;
                        ++Seen.middle_takes_speed;
                    }
                    return;
                }
                if (!someone_near(m, n, r, 1)) {
                    change(v, 1);
                    ++Seen.to_middle;
                    return;
                }
                v.speed = w.speed;
                ++Seen.outer_takes_speed;
            }
        }
    }

    std::vector<std::array<std::array<Vehicle, 20>, 3>> V;
};

// Mostly ordinary frames, with stalls (0), short hiccups and long frames of up to 2.5 s mixed in.
class FrameTimes {
  public:
    float next() {
        static constexpr float Choices[] = {1.0f / 60, 1.0f / 60, 1.0f / 60, 1.0f / 75, 1.0f / 30,
                                            0.0f,      0.004f,    0.11f,     0.6f,      2.5f};
        return Choices[Pick(Engine)];
    }

  private:
    std::mt19937 Engine{977};
    std::uniform_int_distribution<int> Pick{0, 9};
};

void expect_same_tables(ReferenceTraffic& ref, const TrafficTables& t) {
    for (int r = 0; r < ref.Roads; ++r)
        for (int m = 0; m < 3; ++m)
            for (int n = 0; n < 20; ++n) {
                const ReferenceTraffic::Vehicle& v = ref.at(m, n, r);
                SCOPED_TRACE(testing::Message() << m << "," << n << "," << r);
                ASSERT_EQ(t.VehLane(m, n, r), v.lane);
                ASSERT_EQ(t.VehDist(m, n, r), v.dist);
                ASSERT_EQ(t.VehSpeed(m, n, r), v.speed);
                ASSERT_EQ(t.VehOffset(m, n, r), v.offset);
                ASSERT_EQ(t.VehTargetOffset(m, n, r), v.target);
                ASSERT_EQ(t.VehSideStep(m, n, r), v.step);
            }
}

TEST(TrafficRun, TenThousandFramesMatchAnIndependentImplementation) {
    constexpr int Roads = 3;
    ReferenceTraffic ref(Roads);
    auto fast = std::make_unique<TrafficTables>();
    RandomSource ra(5150), rb(5150);
    ref.set_up(ra);
    set_up_traffic(*fast, Roads, rb);
    auto plain = std::make_unique<TrafficTables>(*fast);
    std::vector<Spot> fast_placed, plain_placed;
    expect_same_tables(ref, *fast);

    std::vector<int> slow_speed;
    for (int r = 0; r < Roads; ++r)
        for (int m = 0; m < 3; ++m)
            slow_speed.push_back(ref.at(m, 19, r).speed);

    std::vector<Spot> ref_placed;
    FrameTimes times;
    float last = 0.0f;
    for (int frame = 0; frame < 10000; ++frame) {
        const float now = times.next();
        ref.frame(now, last, ref_placed);
        fast_placed = stepped(step_traffic, *fast, TrafficFrame{Roads, now, last});
        plain_placed = stepped(step_traffic_plain, *plain, TrafficFrame{Roads, now, last});
        last = now;
        if (frame % 1000 == 999) {
            SCOPED_TRACE(frame);
            ASSERT_NO_FATAL_FAILURE(expect_same_tables(ref, *fast));
            ASSERT_EQ(fast_placed, ref_placed);
        }
    }
    ASSERT_NO_FATAL_FAILURE(expect_same_tables(ref, *plain));
    EXPECT_EQ(plain_placed, ref_placed);

    // The run went through every kind of decision, and the slow vehicles never changed.
    EXPECT_GT(ref.Seen.to_middle, 0);
    EXPECT_GT(ref.Seen.to_lane0, 0);
    EXPECT_GT(ref.Seen.to_lane2, 0);
    EXPECT_GT(ref.Seen.outer_takes_speed, 0);
    EXPECT_GT(ref.Seen.middle_takes_speed, 0);
    std::size_t i = 0;
    for (int r = 0; r < Roads; ++r)
        for (int m = 0; m < 3; ++m) {
            EXPECT_EQ(fast->VehSpeed(m, 19, r), slow_speed[i++]);
            EXPECT_EQ(fast->VehLane(m, 19, r), m);
        }
}

// Road count and number of frames; fewer frames for many roads keeps the checked scan affordable
// in sanitizer builds.
class FastAgainstPlain : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(FastAgainstPlain, SameTablesAndVehiclesFrameByFrame) {
    const auto [roads, frames] = GetParam();
    auto fast = std::make_unique<TrafficTables>();
    RandomSource random(static_cast<std::uint64_t>(roads) * 31 + 7);
    set_up_traffic(*fast, roads, random);
    auto plain = std::make_unique<TrafficTables>(*fast);
    FrameTimes times;
    float last = 0.0f;
    for (int frame = 0; frame < frames; ++frame) {
        const float now = times.next();
        const std::vector<Spot> fast_placed = stepped(step_traffic, *fast, TrafficFrame{roads, now, last});
        const std::vector<Spot> plain_placed =
            stepped(step_traffic_plain, *plain, TrafficFrame{roads, now, last});
        last = now;
        ASSERT_EQ(fast_placed, plain_placed) << "frame " << frame;
        if (frame % 250 == 249) {
            ASSERT_TRUE(*fast == *plain) << "frame " << frame;
        }
    }
    EXPECT_TRUE(*fast == *plain);
}

// Equal bit for bit, so that NaN distances compare too.
bool same_bits(const TrafficTables& a, const TrafficTables& b, int roads) {
    for (int r = 0; r < roads; ++r)
        for (int m = 0; m < 3; ++m)
            for (int n = 0; n < 20; ++n)
                if (a.VehLane(m, n, r) != b.VehLane(m, n, r) || a.VehSpeed(m, n, r) != b.VehSpeed(m, n, r) ||
                    a.VehOffset(m, n, r) != b.VehOffset(m, n, r) ||
                    a.VehTargetOffset(m, n, r) != b.VehTargetOffset(m, n, r) ||
                    a.VehSideStep(m, n, r) != b.VehSideStep(m, n, r) ||
                    std::bit_cast<std::uint64_t>(a.VehDist(m, n, r)) !=
                        std::bit_cast<std::uint64_t>(b.VehDist(m, n, r)))
                    return false;
    return true;
}

TEST(FastAgainstPlain, SameResultsWithTiesHugeDistancesAndOddFrameTimes) {
    // Road 0: every vehicle of a lane at the same distance. Road 1: distances so large that adding
    // 900 changes nothing. Road 2: negative and mixed distances. Frames run backwards too; one run
    // ends with a NaN frame time that turns the distances into NaN one vehicle at a time in the
    // middle of a long frame, the other has a frame that throws every vehicle towards infinity.
    constexpr int Roads = 3;
    auto fast = std::make_unique<TrafficTables>();
    RandomSource random(99);
    for (int m = 0; m < 3; ++m)
        for (int n = 0; n < 20; ++n) {
            for (int r = 0; r < Roads; ++r) {
                fast->VehLane(m, n, r) = m;
                fast->VehOffset(m, n, r) = fast->VehTargetOffset(m, n, r) = 25 * m;
                fast->VehSpeed(m, n, r) = 60 + n;
            }
            fast->VehDist(m, n, 0) = 5000.0 * m;
            fast->VehDist(m, n, 1) = 1e20 + 16384.0 * (n % 3);
            fast->VehDist(m, n, 2) = (random.next() - 0.7) * 40000;
        }
    const auto start = std::make_unique<TrafficTables>(*fast);

    auto run = [&](const std::vector<float>& times) {
        auto plain = std::make_unique<TrafficTables>(*start);
        *fast = *start;
        float last = 0.0f;
        for (std::size_t i = 0; i < times.size(); ++i) {
            step_traffic(*fast, TrafficFrame{Roads, times[i], last});
            step_traffic_plain(*plain, TrafficFrame{Roads, times[i], last});
            last = times[i];
            ASSERT_TRUE(same_bits(*fast, *plain, Roads)) << "frame " << i;
        }
    };
    std::vector<float> times;
    for (int round = 0; round < 40; ++round)
        times.insert(times.end(), {1.0f / 60, 0.5f, -0.25f, 1.0f / 60, 0.0f, 1.0f / 60});
    std::vector<float> with_nan = times;
    with_nan.insert(with_nan.end(), {std::nanf(""), 2.0f, 2.0f});
    ASSERT_NO_FATAL_FAILURE(run(with_nan));
    times.insert(times.begin() + 60, 3e30f);
    ASSERT_NO_FATAL_FAILURE(run(times));
}

INSTANTIATE_TEST_SUITE_P(Roads, FastAgainstPlain,
                         ::testing::Values(std::pair{1, 5000}, std::pair{10, 3000}, std::pair{50, 2000}),
                         [](const ::testing::TestParamInfo<std::pair<int, int>>& param) {
                             return std::to_string(param.param.first) + "Roads";
                         });

} // namespace
} // namespace kl
