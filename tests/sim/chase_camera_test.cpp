#include "engine/math.h"
#include "sim/chase_camera.h"
#include "sim/mdl_kl.h"

#include <gtest/gtest.h>

namespace kl::mdlKl {
namespace {

struct ChaseCamera : ::testing::Test {
    Vec3 cam{-1, -1, -1}, look{-2, -2, -2};
    void place(int mode, Vec3 P = {58, 800, 1}, Vec3 D = {0, 1, 0}) {
        Program().Settings.CameraMode = mode;
        PlaceChaseCamera(P, D, cam, look);
    }
    void TearDown() override { ResetProgram(); }
};

TEST_F(ChaseCamera, ModeOneChasesFromBehindAndAbove) {
    place(1);
    EXPECT_EQ(look, (Vec3{58, 0, 830}));
    EXPECT_EQ(cam, (Vec3{58, 10, 780}));
}

TEST_F(ChaseCamera, ModeZeroRidesOnTheVehicleAndFollowsItsPitch) {
    place(0);
    EXPECT_EQ(look, (Vec3{58, 1, 830}));
    EXPECT_EQ(cam, (Vec3{58, 1, 799}));
    place(0, {0, 0, 5}, {0, 1, 0.5f});
    EXPECT_FLOAT_EQ(look.y, 20.0f);
    EXPECT_FLOAT_EQ(cam.y, -10.0f);
}

TEST_F(ChaseCamera, HighModesLookDownAndUnknownModesChangeNothing) {
    for (int mode = 3; mode <= 7; ++mode) {
        place(mode, {10, 100, 0}, {1, 0, 0});
        EXPECT_EQ(look, (Vec3{30, 0, 100}));
        EXPECT_EQ(cam, (Vec3{25, 75, 100}));
    }
    place(2);
    EXPECT_EQ(cam, (Vec3{58, 15, 770}));
    const Vec3 keptCam = cam, keptLook = look;
    for (int mode : {9, -1, 8}) {
        place(mode);
        EXPECT_EQ(cam, keptCam);
        EXPECT_EQ(look, keptLook);
    }
}

} // namespace
} // namespace kl::mdlKl
