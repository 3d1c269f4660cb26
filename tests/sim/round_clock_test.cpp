// The round clock against the module state: controls come on once the clock reaches 0, and a round
// limit nobody can reach never crashes the user's vehicles while one of 0 or less does so every frame.
#include "engine/math.h"
#include "fault/fault.h"
#include "sim/mdl_kl.h"
#include "sim/round_clock.h"

#include <gtest/gtest.h>
#include <memory>

namespace kl::mdlKl {
namespace {

struct RoundClockTest : ::testing::Test {
    void SetUp() override {
        saved = Settings;
        Players.clear();
        for (int i = 0; i < 2; ++i) {
            Players.push_back(std::make_unique<Player>());
            Players.back()->Initialize(0, i, nullptr);
        }
        Settings.LastPlayer = 1;
        Settings.RoundLimit = 1;
        RoundCount = 5;
        RoundClock = 0;
        TimeScale = 0.25f;
        ControlEnabled = false;
        RoundEndAllowed = false;
    }
    void TearDown() override {
        Players.clear();
        Settings = saved;
        RoundCount = 0;
        RoundClock = 0;
        TimeScale = 1;
        ControlEnabled = false;
        RoundEndAllowed = false;
    }
    SettingsRecord saved;
};

TEST_F(RoundClockTest, WithALimitOfOneTheRoundRunsOnAndTheControlsComeOn) {
    EXPECT_EQ(CountFinished(), 0);
    for (float dt : {0.25f, 0.5f, 0.125f, 2.0f}) {
        AdvanceRoundClock(dt);
        EXPECT_EQ(RoundCount, 0);
        EXPECT_TRUE(Players[0]->Alive);
        EXPECT_TRUE(Players[1]->Alive);
    }
    EXPECT_FLOAT_EQ(RoundClock, 2.875f);
    EXPECT_EQ(TimeScale, 1.0f);
    EXPECT_TRUE(ControlEnabled);
    EXPECT_TRUE(RoundEndAllowed);
}

TEST_F(RoundClockTest, ALimitOfZeroOrLessCrashesTheUserVehiclesEveryFrame) {
    for (std::int32_t limit : {0, -3}) {
        Settings.RoundLimit = limit;
        for (auto& p : Players)
            p->Reset();
        Players[0]->DoEventsX(1, 10);
        AdvanceRoundClock(0.1f);
        EXPECT_FALSE(Players[0]->Alive);
        EXPECT_FALSE(Players[1]->Alive);
        EXPECT_EQ(Players[0]->LastPosProp(), Players[0]->PosProp());
        EXPECT_TRUE(ControlEnabled) << "the clock still runs";

        // A vehicle brought back is crashed again in the next frame.
        Players[1]->Reset();
        AdvanceRoundClock(0.1f);
        EXPECT_FALSE(Players[1]->Alive);
    }
}

TEST_F(RoundClockTest, OnlyTheVehiclesUpToLastPlayerAreCrashed) {
    Settings.RoundLimit = 0;
    Settings.LastPlayer = 0;
    AdvanceRoundClock(0.1f);
    EXPECT_FALSE(Players[0]->Alive);
    EXPECT_TRUE(Players[1]->Alive);
}

TEST_F(RoundClockTest, AMissingVehicleReachesTheCallerAndStopsTheClockForThatFrame) {
    Settings.RoundLimit = 0;
    Settings.LastPlayer = 2;
    EXPECT_THROW(AdvanceRoundClock(0.5f), Fault);
    EXPECT_FALSE(Players[0]->Alive) << "vehicles before the gap were crashed in order";
    EXPECT_EQ(RoundClock, 0.0f);
    EXPECT_FALSE(ControlEnabled);

    Settings.RoundLimit = 1; // no crash, no look at the vehicles
    EXPECT_NO_THROW(AdvanceRoundClock(0.5f));
    EXPECT_TRUE(ControlEnabled);
}

TEST_F(RoundClockTest, WhileTheClockIsBelowZeroTheControlsAreLeftAsTheyWere) {
    AdvanceRoundClock(-0.5f);
    EXPECT_EQ(RoundClock, -0.5f);
    EXPECT_FALSE(ControlEnabled);
    EXPECT_TRUE(RoundEndAllowed) << "the round can be ended before the controls come on";
    EXPECT_EQ(TimeScale, 1.0f);

    ControlEnabled = true;
    AdvanceRoundClock(-0.25f);
    EXPECT_TRUE(ControlEnabled) << "a negative clock does not switch controls off either";

    ControlEnabled = false;
    AdvanceRoundClock(0.75f);
    EXPECT_EQ(RoundClock, 0.0f);
    EXPECT_TRUE(ControlEnabled) << "exactly 0 counts as started";
}

} // namespace
} // namespace kl::mdlKl
