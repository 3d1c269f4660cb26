// The user's vehicle: start values, driving and the mesh that follows it, the four turns, and a
// crashed vehicle that ignores everything until it is reset.
#include "engine/math.h"
#include "fault/fault.h"
#include "resources/cls3d_object.h"
#include "sim/player.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace kl {
namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;

::testing::AssertionResult near(const Vec3& a, const Vec3& b, double tolerance = 1e-6) {
    if (std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance &&
        std::fabs(a.z - b.z) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x
                                         << ", " << b.y << ", " << b.z << ")";
}

float length(const Vec3& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

Vec3 unit_pitch(double degrees) {
    return {0, float(std::cos(degrees * kDegree)), float(std::sin(degrees * kDegree))};
}

struct PlayerVehicle : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(player.Initialize(0, 0, nullptr)); }
    Player player;
};

TEST(PlayerStart, InitializeMakesALiveVehicleAtTheStartLookingUpTheRoad) {
    Player player;
    EXPECT_FALSE(player.Alive);
    EXPECT_TRUE(player.Initialize(3, 9, nullptr));
    EXPECT_TRUE(player.Alive);
    EXPECT_EQ(player.PosProp(), (Vec3{58, 800, 1}));
    EXPECT_EQ(player.POSX(), (Vec3{58, 800, 1}));
    EXPECT_EQ(player.LastPosProp(), (Vec3{58, 800, 1}));
    EXPECT_EQ(player.DirProp(), (Vec3{0, 1, 0}));
    EXPECT_EQ(player.DirPropV(), (Vec3{0, 1, 0}));
    EXPECT_EQ(player.LastWallPosProp(), 0);
    ASSERT_NE(player.Model(), nullptr);
    EXPECT_EQ(player.Model()->GetMesh(), nullptr) << "the vehicle itself is never drawn";
}

TEST(PlayerStart, AVehicleNeverInitializedIgnoresSteeringAndDriving) {
    Player player;
    player.ChangeDir(1);
    player.ChangeDirHV(1);
    player.DoEventsX(1, 50);
    player.Crash();
    EXPECT_EQ(player.PosProp(), (Vec3{0, 0, 0}));
    EXPECT_EQ(player.DirPropV(), (Vec3{0, 0, 0}));
    EXPECT_FALSE(player.Alive);
}

TEST_F(PlayerVehicle, DrivingStepsBySpeedTimesTimeAndTheMeshFollowsInEngineForm) {
    player.DoEventsX(0.5f, 20);
    EXPECT_EQ(player.PosProp(), (Vec3{58, 810, 1}));
    EXPECT_EQ(player.LastPosProp(), (Vec3{58, 800, 1}));
    EXPECT_EQ(player.Model()->Position(), (Vec3{58, 1, 810}));

    // Pitched down by 4 degrees, a 10-unit step also loses height.
    player.ChangeDirH(1);
    player.DoEventsX(1, 10);
    const Vec3 expected{58, float(810 + 10 * std::cos(4 * kDegree)), float(1 - 10 * std::sin(4 * kDegree))};
    EXPECT_TRUE(near(player.PosProp(), expected, 1e-4));
    EXPECT_EQ(player.LastPosProp(), (Vec3{58, 810, 1}));
    EXPECT_TRUE(near(player.Model()->Position(), {expected.x, expected.z, expected.y}, 1e-4));

    // Back to the start; the mesh stays where it was until the next move.
    player.GeneratePos();
    EXPECT_EQ(player.PosProp(), (Vec3{58, 800, 1}));
    EXPECT_EQ(player.LastPosProp(), (Vec3{58, 800, 1}));
    EXPECT_TRUE(near(player.Model()->Position(), {expected.x, expected.z, expected.y}, 1e-4));
}

TEST_F(PlayerVehicle, ZeroTimeOrSpeedStillRecordsTheLastPosition) {
    player.DoEventsX(1, 5);
    player.DoEventsX(0, 5);
    EXPECT_EQ(player.PosProp(), (Vec3{58, 805, 1}));
    EXPECT_EQ(player.LastPosProp(), (Vec3{58, 805, 1}));
    player.DoEventsX(-2, 5);
    EXPECT_EQ(player.PosProp(), (Vec3{58, 795, 1})) << "a negative time drives backwards";
}

TEST_F(PlayerVehicle, YawTurnsFourDegreesFromTheOldComponentsAndNinetyTurnsComeBack) {
    player.ChangeDir(0);
    // Both new components come from the old pair: (0, 1) turned by +4 degrees.
    EXPECT_TRUE(near(player.DirProp(), {float(-std::sin(4 * kDegree)), float(std::cos(4 * kDegree)), 0}));
    EXPECT_EQ(player.DirPropV(), (Vec3{0, 1, 0})) << "the view direction is steered separately";
    player.ChangeDir(1);
    EXPECT_TRUE(near(player.DirProp(), {0, 1, 0}));

    for (int i = 0; i < 45; ++i)
        player.ChangeDir(0);
    EXPECT_TRUE(near(player.DirProp(), {0, -1, 0}, 1e-5));
    for (int i = 0; i < 45; ++i)
        player.ChangeDir(0);
    EXPECT_TRUE(near(player.DirProp(), {0, 1, 0}, 1e-5));
    EXPECT_NEAR(length(player.DirProp()), 1.0f, 1e-5f);

    player.ChangeDirV(1);
    EXPECT_TRUE(near(player.DirPropV(), {float(std::sin(4 * kDegree)), float(std::cos(4 * kDegree)), 0}));
}

TEST_F(PlayerVehicle, PitchOfTheDrivingDirectionTurnsAboutTheAcrossAxis) {
    player.ChangeDir(1); // x must survive the pitch untouched
    const float x = player.DirProp().x;
    player.ChangeDirH(1);
    const Vec3 d = player.DirProp();
    EXPECT_EQ(d.x, x);
    EXPECT_NEAR(d.y, std::cos(4 * kDegree) * std::cos(4 * kDegree), 1e-6);
    EXPECT_NEAR(d.z, -std::sin(4 * kDegree) * std::cos(4 * kDegree), 1e-6);

    Player fresh;
    fresh.Initialize(0, 0, nullptr);
    fresh.ChangeDirH(1);
    EXPECT_TRUE(near(fresh.DirProp(), unit_pitch(-4)));
    fresh.ChangeDirH(0);
    fresh.ChangeDirH(0);
    EXPECT_TRUE(near(fresh.DirProp(), unit_pitch(4)));
}

TEST_F(PlayerVehicle, ViewPitchTiltsHalfADegreeUpOrDownAndKeepsTheHeading) {
    player.ChangeDirHV(1);
    EXPECT_TRUE(near(player.DirPropV(), unit_pitch(0.5)));
    player.ChangeDirHV(0);
    player.ChangeDirHV(0);
    EXPECT_TRUE(near(player.DirPropV(), unit_pitch(-0.5)));
    EXPECT_EQ(player.DirProp(), (Vec3{0, 1, 0}));

    // Heading 12 degrees to the right: the tilt is about the horizontal axis across that heading, so
    // the ground direction keeps its bearing and the right-hand rule still lifts the nose.
    Player turned;
    turned.Initialize(0, 0, nullptr);
    for (int i = 0; i < 3; ++i)
        turned.ChangeDirV(1);
    for (int i = 0; i < 20; ++i)
        turned.ChangeDirHV(1);
    const Vec3 v = turned.DirPropV();
    const double ground = std::sqrt(double(v.x) * v.x + double(v.y) * v.y);
    EXPECT_NEAR(std::atan2(v.x, v.y) / kDegree, 12.0, 1e-3);
    EXPECT_NEAR(std::atan2(v.z, ground) / kDegree, 10.0, 1e-3);
    EXPECT_NEAR(length(v), 1.0f, 1e-6f);
}

// A vertical view direction has no horizontal axis to tilt about. Through the steering operations it
// cannot be reached: the half-degree steps from level pass within about 1e-7 of vertical, then tilt
// back over the top, so the direction rocks about the vertical instead of landing on it.
TEST_F(PlayerVehicle, TiltingUpPastTheVerticalRocksAboutItWithoutFailing) {
    for (int i = 0; i < 180; ++i)
        ASSERT_NO_THROW(player.ChangeDirHV(1));
    EXPECT_NEAR(player.DirPropV().z, 1.0f, 1e-6f);
    float lowest = 1;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_NO_THROW(player.ChangeDirHV(1));
        const Vec3 v = player.DirPropV();
        ASSERT_TRUE(std::isfinite(v.y) && std::isfinite(v.z));
        EXPECT_EQ(v.x, 0.0f);
        lowest = std::min(lowest, v.z);
    }
    EXPECT_GE(lowest, std::cos(0.5 * kDegree) - 1e-6) << "never more than one step past the vertical";
    // Tilting down again brings the direction back to the ground.
    for (int i = 0; i < 180; ++i)
        player.ChangeDirHV(0);
    EXPECT_NEAR(player.DirPropV().z, 0.0f, 0.01f);
    EXPECT_NEAR(length(player.DirPropV()), 1.0f, 1e-5f);
}

TEST(ViewTilt, AVerticalDirectionHasNoAxisToTiltAboutAndRaises) {
    for (const Vec3& v : {Vec3{0, 0, 1}, Vec3{0, 0, -3}, Vec3{0, 0, 0}}) {
        EXPECT_THROW(TiltOverGroundDirection(v, 0.01f), Fault);
        EXPECT_THROW(TiltOverGroundDirection(v, -0.01f), Fault);
    }
    // The smallest ground part still gives an axis: the direction tilts and stays a direction.
    const Vec3 almost = TiltOverGroundDirection({1e-38f, 0, 1}, 0.01f);
    EXPECT_TRUE(std::isfinite(almost.x) && std::isfinite(almost.y) && std::isfinite(almost.z));
    EXPECT_NEAR(length(almost), 1.0f, 1e-6f);
    // Tilting a vector that is longer than 1 keeps its length.
    EXPECT_TRUE(near(TiltOverGroundDirection({0, -2, 0}, float(30 * kDegree)),
                     {0, float(-2 * std::cos(30 * kDegree)), 1}));
}

TEST_F(PlayerVehicle, ACrashedVehicleStandsStillAndIgnoresEverythingUntilReset) {
    player.DoEventsX(0.5f, 20);
    player.ChangeDir(1);
    const Vec3 pos = player.PosProp(), dir = player.DirProp();
    ASSERT_NE(player.LastPosProp(), pos);

    player.Crash();
    EXPECT_FALSE(player.Alive);
    EXPECT_EQ(player.PosProp(), pos);
    EXPECT_EQ(player.LastPosProp(), pos) << "the crash makes a last, empty move";

    player.ChangeDir(0);
    player.ChangeDirV(0);
    player.ChangeDirH(0);
    player.ChangeDirHV(0);
    player.DoEventsX(1, 100);
    player.Crash();
    EXPECT_EQ(player.PosProp(), pos);
    EXPECT_EQ(player.LastPosProp(), pos);
    EXPECT_EQ(player.DirProp(), dir);
    EXPECT_EQ(player.DirPropV(), (Vec3{0, 1, 0}));
    EXPECT_FALSE(player.Alive);

    player.Delete();
    player.Reset();
    EXPECT_TRUE(player.Alive);
    EXPECT_EQ(player.PosProp(), (Vec3{58, 800, 1}));
    EXPECT_EQ(player.DirProp(), dir) << "a reset keeps the heading";
    player.DoEventsX(1, 10);
    EXPECT_NE(player.PosProp(), (Vec3{58, 800, 1}));
}

TEST_F(PlayerVehicle, ACrashBringsTheMeshToTheVehicleBeforeItDies) {
    player.DoEventsX(0.5f, 20);
    player.GeneratePos();
    ASSERT_EQ(player.Model()->Position(), (Vec3{58, 1, 810}));
    player.Crash();
    EXPECT_EQ(player.Model()->Position(), (Vec3{58, 1, 800}));
}

} // namespace
} // namespace kl
