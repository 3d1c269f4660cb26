// The status line and its number formats.
#include "scene/hud_line.h"
#include "scene/scene_fixture.h"

#include <gtest/gtest.h>

namespace kl {
namespace {

using scene::BuildHudLine;
using scene::FormatFixed;
using scene::FormatSingle;

TEST(HudLine, JoinsRateGearPositionAndSpeedInKilometresPerHour) {
    EXPECT_EQ(BuildHudLine(59.87, 1, {58, 812.5f, 1}, 20, '.'), "59.87 fps 1 58  812.5  1 speed 72.0 km/h");
    EXPECT_EQ(BuildHudLine(59.87, 1, {58, 812.5f, 1}, 20, ','), "59,87 fps 1 58  812,5  1 speed 72,0 km/h");
    EXPECT_EQ(BuildHudLine(0, 8, {0, 0, 0}, -1, '.'), "0.00 fps 8 0  0  0 speed -3.6 km/h");
    // One frame counted against half a second and the window's guard.
    EXPECT_EQ(BuildHudLine(1 / (0.5 + 0.00001), 0, {58, 800, 1}, 0, '.').substr(0, 9), "2.00 fps ");
}

TEST(HudLine, SinglesInShortestFormWithExponentsForVeryLargeAndSmall) {
    EXPECT_EQ(FormatSingle(58.0f, '.'), "58");
    EXPECT_EQ(FormatSingle(0.1f, '.'), "0.1");
    EXPECT_EQ(FormatSingle(-812.25f, ','), "-812,25");
    EXPECT_EQ(FormatSingle(1234567.0f, '.'), "1234567");
    EXPECT_EQ(FormatSingle(12345678.0f, '.'), "1.234568E+07");
    EXPECT_EQ(FormatSingle(1e20f, '.'), "1E+20");
    EXPECT_EQ(FormatSingle(0.0001f, '.'), "0.0001");
    EXPECT_EQ(FormatSingle(0.00001f, '.'), "1E-05");
    EXPECT_EQ(FormatSingle(-0.0f, '.'), "0");
    EXPECT_EQ(FormatFixed(0.004, 2, '.'), "0.00");
    EXPECT_EQ(FormatFixed(123456.789, 1, '.'), "123456.8");
    EXPECT_EQ(FormatFixed(-0.25 * 3.6, 1, ','), "-0,9");
}

using HudInFrames = test::SceneTest;

TEST_F(HudInFrames, LineIsEmptyUntilTheRateWindowFirstClosesThenHeldBetweenRebuilds) {
    set_up(0);
    frame(0.0);
    EXPECT_EQ(S.HudLine, "");
    frame(0.5);
    const std::string sep(1, scene::UserDecimalSeparator());
    EXPECT_EQ(S.HudLine.substr(0, 9), "2" + sep + "00 fps ");
    const std::string shown = S.HudLine;
    mdlKl::Program().Gear = 5;
    frame(0.1);
    EXPECT_EQ(S.HudLine, shown);
    for (int i = 0; i < 5; ++i)
        frame(0.1);
    EXPECT_NE(S.HudLine.find(" fps 5 "), std::string::npos);
}

} // namespace
} // namespace kl
