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
        ResetProgram();
        ProgramState& program = Program();
        for (int i = 0; i < 2; ++i) {
            program.Players.push_back(std::make_unique<Player>());
            program.Players.back()->Initialize(0, i, nullptr);
        }
        program.Settings.LastPlayer = 1;
        program.Settings.RoundLimit = 1;
        R.RoundCount = 5;
        R.TimeScale = 0.25f;
    }
    void TearDown() override { ResetProgram(); }
    RoundState R;
};

TEST_F(RoundClockTest, WithALimitOfOneTheRoundRunsOnAndTheControlsComeOn) {
    EXPECT_EQ(CountFinished(), 0);
    for (float dt : {0.25f, 0.5f, 0.125f, 2.0f}) {
        AdvanceRoundClock(R, dt);
        EXPECT_EQ(R.RoundCount, 0);
        EXPECT_TRUE(Program().Players[0]->Alive);
        EXPECT_TRUE(Program().Players[1]->Alive);
    }
    EXPECT_FLOAT_EQ(R.RoundClock, 2.875f);
    EXPECT_EQ(R.TimeScale, 1.0f);
    EXPECT_TRUE(R.ControlEnabled);
    EXPECT_TRUE(R.RoundEndAllowed);
}

TEST_F(RoundClockTest, ALimitOfZeroOrLessCrashesTheUserVehiclesEveryFrame) {
    for (std::int32_t limit : {0, -3}) {
        Program().Settings.RoundLimit = limit;
        for (auto& p : Program().Players)
            p->Reset();
        Program().Players[0]->DoEventsX(1, 10);
        AdvanceRoundClock(R, 0.1f);
        EXPECT_FALSE(Program().Players[0]->Alive);
        EXPECT_FALSE(Program().Players[1]->Alive);
        EXPECT_EQ(Program().Players[0]->LastPosProp(), Program().Players[0]->PosProp());
        EXPECT_TRUE(R.ControlEnabled) << "the clock still runs";

        // A vehicle brought back is crashed again in the next frame.
        Program().Players[1]->Reset();
        AdvanceRoundClock(R, 0.1f);
        EXPECT_FALSE(Program().Players[1]->Alive);
    }
}

TEST_F(RoundClockTest, OnlyTheVehiclesUpToLastPlayerAreCrashed) {
    Program().Settings.RoundLimit = 0;
    Program().Settings.LastPlayer = 0;
    AdvanceRoundClock(R, 0.1f);
    EXPECT_FALSE(Program().Players[0]->Alive);
    EXPECT_TRUE(Program().Players[1]->Alive);
}

TEST_F(RoundClockTest, AMissingVehicleReachesTheCallerAndStopsTheClockForThatFrame) {
    Program().Settings.RoundLimit = 0;
    Program().Settings.LastPlayer = 2;
    EXPECT_THROW(AdvanceRoundClock(R, 0.5f), Fault);
    EXPECT_FALSE(Program().Players[0]->Alive) << "vehicles before the gap were crashed in order";
    EXPECT_EQ(R.RoundClock, 0.0f);
    EXPECT_FALSE(R.ControlEnabled);

    Program().Settings.RoundLimit = 1; // no crash, no look at the vehicles
    EXPECT_NO_THROW(AdvanceRoundClock(R, 0.5f));
    EXPECT_TRUE(R.ControlEnabled);
}

TEST_F(RoundClockTest, WhileTheClockIsBelowZeroTheControlsAreLeftAsTheyWere) {
    AdvanceRoundClock(R, -0.5f);
    EXPECT_EQ(R.RoundClock, -0.5f);
    EXPECT_FALSE(R.ControlEnabled);
    EXPECT_TRUE(R.RoundEndAllowed) << "the round can be ended before the controls come on";
    EXPECT_EQ(R.TimeScale, 1.0f);

    R.ControlEnabled = true;
    AdvanceRoundClock(R, -0.25f);
    EXPECT_TRUE(R.ControlEnabled) << "a negative clock does not switch controls off either";

    R.ControlEnabled = false;
    AdvanceRoundClock(R, 0.75f);
    EXPECT_EQ(R.RoundClock, 0.0f);
    EXPECT_TRUE(R.ControlEnabled) << "exactly 0 counts as started";
}

} // namespace
} // namespace kl::mdlKl
