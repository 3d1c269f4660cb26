#include "engine/cls3d_engine.h"
#include "fault/fault.h"

#include <gtest/gtest.h>
#include <random>

namespace kl {
namespace {

struct ClockTest : ::testing::Test {
    platform::SteppedCounter counter{1'000'000'000, 123'456'789};
    cls3dEngine engine;
    ClockTest() { engine.SetPerformanceCounter(counter); }
};

TEST_F(ClockTest, QueriesBeforeStartTimerRaiseAFault) {
    EXPECT_THROW(engine.GetAbsTimeDiff(), Fault);
    EXPECT_THROW(engine.GetRelTimeDiff(), Fault);
}

TEST_F(ClockTest, OneFrequencyOfTicksIsExactlyOneSecond) {
    engine.StartTimer();
    counter.Advance(1'000'000'000);
    EXPECT_EQ(engine.GetAbsTimeDiff(), 1.0f);
    EXPECT_EQ(engine.GetRelTimeDiff(), 1.0f);
}

TEST_F(ClockTest, FirstRelativeTimeEqualsAbsoluteTimeAndAnImmediateSecondIsZero) {
    engine.StartTimer();
    counter.Advance(16'666'667);
    const float abs = engine.GetAbsTimeDiff();
    EXPECT_EQ(engine.GetRelTimeDiff(), abs);
    EXPECT_EQ(engine.GetRelTimeDiff(), 0.0f);
}

TEST_F(ClockTest, AbsoluteQueriesDoNotDisturbRelativeOnes) {
    engine.StartTimer();
    counter.Advance(10'000'000);
    engine.GetRelTimeDiff();
    counter.Advance(5'000'000);
    engine.GetAbsTimeDiff();
    counter.Advance(5'000'000);
    engine.GetAbsTimeDiff();
    EXPECT_FLOAT_EQ(engine.GetRelTimeDiff(), 0.01f);
}

TEST_F(ClockTest, RestartingResetsBothReferences) {
    engine.StartTimer();
    counter.Advance(3'000'000'000);
    engine.GetRelTimeDiff();
    engine.StartTimer();
    EXPECT_EQ(engine.LastTime, 0.0f);
    EXPECT_EQ(engine.GetAbsTimeDiff(), 0.0f);
    counter.Advance(250'000'000);
    EXPECT_EQ(engine.GetRelTimeDiff(), 0.25f);
}

TEST_F(ClockTest, RelativeTimesSumToTheLatestAbsoluteTimeWithoutDrift) {
    engine.StartTimer();
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::int64_t> frame(1'000'000, 40'000'000);
    float sum = 0.0f;
    for (int i = 0; i < 200'000; ++i) { // about an hour of frames
        counter.Advance(frame(rng));
        sum += engine.GetRelTimeDiff();
    }
    EXPECT_EQ(sum, engine.GetAbsTimeDiff());
    EXPECT_EQ(sum, engine.LastTime);
}

TEST_F(ClockTest, LongGapsAreReturnedUnclamped) {
    engine.StartTimer();
    counter.Advance(3600'000'000'000);
    EXPECT_EQ(engine.GetRelTimeDiff(), 3600.0f);
}

TEST(SystemCounter, IsMonotonicWithNanosecondTicks) {
    auto& c = platform::SystemCounter();
    EXPECT_EQ(c.Frequency(), 1'000'000'000);
    const auto a = c.Now();
    EXPECT_GE(c.Now(), a);
}

} // namespace
} // namespace kl
