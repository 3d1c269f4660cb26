// The keyboard commands through whole frames: the step rule and its rate, the same-frame order, the
// gear counter, stop, restart, and the Escape and Return latches.
#include "scene/scene_fixture.h"
#include "scene/viewer_controls.h"

#include <cmath>
#include <numbers>

namespace kl {
namespace {

namespace key = platform::key;
using scene::FrameExit;
constexpr int kR = 19;

class KeyboardCommands : public test::SceneTest {
  protected:
    void SetUp() override {
        set_up(0);
        frame(); // the first frame of a round takes no step
    }
    // Sine of the view direction's turn away from straight ahead, positive to the left.
    float view_turn() { return -user().DirPropV().x; }
};

TEST_F(KeyboardCommands, StepKeysTakeNoEffectInTheFirstFrameOrForADeadVehicle) {
    scene::StartRound(S);
    frame(0.02, {key::Left, key::Up});
    EXPECT_EQ(view_turn(), 0.0f);
    EXPECT_EQ(mdlKl::Program().Settings.PlayerSpeed, 20.0f);

    user().Alive = false;
    for (int i = 0; i < 5; ++i)
        frame(0.02, {key::Up});
    EXPECT_EQ(mdlKl::Program().Settings.PlayerSpeed, 20.0f);
    // Gear and stop do not care.
    frame(0.02, {key::Home, key::Space});
    EXPECT_EQ(mdlKl::Program().Gear, 2);
    EXPECT_EQ(mdlKl::Program().Settings.PlayerSpeed, 0.0f);
}

TEST_F(KeyboardCommands, OnlyTheFirstStepKeyInTableOrderActsInAFrame) {
    frame(0.02, {key::Right, key::Left, key::Up});
    EXPECT_NEAR(view_turn(), std::sin(4.0 * std::numbers::pi / 180), 1e-6);
    EXPECT_EQ(mdlKl::Program().Settings.PlayerSpeed, 20.0f);
    frame(0.02, {key::Down, key::Up});
    EXPECT_EQ(mdlKl::Program().Settings.PlayerSpeed, 21.0f);
    // The speed step comes before the stop; nothing bounds the speed below.
    frame(0.02, {key::Up, key::Space});
    EXPECT_EQ(mdlKl::Program().Settings.PlayerSpeed, 0.0f);
    EXPECT_EQ(S.FramesSinceStep, 1);
    frame(0.02, {key::Down});
    EXPECT_EQ(mdlKl::Program().Settings.PlayerSpeed, -1.0f);
}

TEST_F(KeyboardCommands, HeldStepKeysRepeatAtMostAboutFiftyTimesASecondAtAnyFrameRate) {
    for (const double frame_time : {0.02, 0.004}) {
        SCOPED_TRACE(frame_time);
        mdlKl::Program().Settings.PlayerSpeed = 0;
        const int frames = static_cast<int>(1.0 / frame_time);
        for (int i = 0; i < frames; ++i)
            frame(frame_time, {key::Up});
        EXPECT_LE(mdlKl::Program().Settings.PlayerSpeed, 52.0f);
        EXPECT_GE(mdlKl::Program().Settings.PlayerSpeed, 30.0f);
    }
}

TEST_F(KeyboardCommands, NoStepRightAfterTheRateWindowRestarted) {
    frame(0.02);
    frame(0.5, {key::Up}); // closes the window: one frame counted against almost no time
    EXPECT_EQ(mdlKl::Program().Settings.PlayerSpeed, 20.0f);
    frame(0.05, {key::Up});
    EXPECT_EQ(mdlKl::Program().Settings.PlayerSpeed, 21.0f);
}

TEST_F(KeyboardCommands, GearStaysWithinZeroToEightEveryFrameAKeyIsHeld) {
    mdlKl::Program().Gear = 7;
    for (int expected : {8, 8, 8}) {
        frame(0.02, {key::Home});
        EXPECT_EQ(mdlKl::Program().Gear, expected);
    }
    mdlKl::Program().Gear = 1;
    for (int expected : {0, 0}) {
        frame(0.02, {key::Backspace});
        EXPECT_EQ(mdlKl::Program().Gear, expected);
    }
    frame(0.02, {key::Home, key::Backspace});
    EXPECT_EQ(mdlKl::Program().Gear, 0);
}

// ] and [ double and halve the time the traffic and the clocks see, from 1/16 up to 16 times and no
// further, however often they are pressed.
TEST_F(KeyboardCommands, TimeScaleStaysWithinASixteenthAndSixteenTimes) {
    const auto press = [&](int k, int times) {
        for (int i = 0; i < times; ++i) {
            frame(0.02, {k});
            frame(0.02);
        }
    };
    press(key::RBracket, 6);
    EXPECT_NEAR(S.FrameTime, 0.02 * 16, 1e-5);
    EXPECT_EQ(scene::ViewerStatusLine(S), "time \xC3\x97"
                                          "16");
    press(key::LBracket, 10);
    EXPECT_NEAR(S.FrameTime, 0.02 / 16, 1e-8);
    EXPECT_EQ(scene::ViewerStatusLine(S), "time \xC3\x97"
                                          "1/16");
}

TEST_F(KeyboardCommands, EscapeTogglesThePromptOnReleaseAndThePromptIsDrawnFromThen) {
    const auto text_draws = [&] {
        return last_frame().Count("DrawPrimitiveUP") + last_frame().Count("DrawIndexedPrimitiveUP");
    };
    frame();
    const std::size_t plain = text_draws();
    frame(0.02, {key::Escape});
    frame(0.02, {key::Escape});
    EXPECT_FALSE(S.QuitPrompt);
    EXPECT_EQ(text_draws(), plain);
    frame();
    EXPECT_TRUE(S.QuitPrompt);
    EXPECT_GT(text_draws(), plain);
    frame(0.02, {key::Escape});
    EXPECT_TRUE(S.QuitPrompt);
    frame();
    EXPECT_FALSE(S.QuitPrompt);
    EXPECT_EQ(text_draws(), plain);
}

TEST_F(KeyboardCommands, ReturnOnReleaseQuitsWithThePromptAndOtherwiseEndsTheRound) {
    EXPECT_EQ(frame(0.02, {key::Return}), FrameExit::None);
    EXPECT_EQ(frame(0.02, {key::Return}), FrameExit::None);
    EXPECT_EQ(frame(), FrameExit::RoundEnd);

    scene::StartRound(S);
    frame(0.02, {key::Escape});
    frame(0.02, {key::NumpadEnter});
    EXPECT_TRUE(S.QuitPrompt);
    EXPECT_EQ(frame(), FrameExit::Quit);

    // A release while the round may not end yet only drops the latch.
    scene::StartRound(S);
    frame(0.02, {key::Return});
    S.Round.RoundEndAllowed = false;
    EXPECT_EQ(frame(), FrameExit::None);
    EXPECT_FALSE(S.ReturnLatch);
}

TEST_F(KeyboardCommands, RestartsInEveryFrameRIsHeldAndTestsNothingAfterIt) {
    for (int i = 0; i < 3; ++i) {
        scene::StartRound(S);
        EXPECT_EQ(frame(0.02, {kR, key::Escape, key::Return}), FrameExit::Restart);
        EXPECT_FALSE(S.EscLatch);
        EXPECT_FALSE(S.ReturnLatch);
    }
    // Commands before it in the table still act.
    frame();
    frame(0.02, {key::Up, kR});
    EXPECT_EQ(mdlKl::Program().Settings.PlayerSpeed, 21.0f);
}

} // namespace
} // namespace kl
