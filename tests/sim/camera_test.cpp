#include "engine/math.h"
#include "fault/fault.h"
#include "sim/camera.h"
#include "sim/mdl_kl.h"
#include "support/engine_fixture.h"

#include <cstring>
#include <gtest/gtest.h>

namespace kl {
namespace {

TEST(CameraBlend, MovesAtConstantSpeedAndStopsOnTarget) {
    Camera cam;
    cam.BlendPosition({10, 0, 0}, 2);
    for (float expected : {2.5f, 5.0f, 7.5f, 10.0f}) {
        cam.DoEventsX(0.5f);
        EXPECT_FLOAT_EQ(cam.Pos().x, expected);
    }
    cam.DoEventsX(0.5f);
    EXPECT_FLOAT_EQ(cam.Pos().x, 10.0f);
    EXPECT_LE(cam.PosTime, 0.0f);
}

TEST(CameraBlend, ALongStepEndsExactlyOnTheTarget) {
    Camera cam;
    cam.Pos({4, 2, -6});
    cam.BlendPosition({8, 4, 2}, 2);
    cam.BlendDestination({1, 1, 1}, 2);
    cam.DoEventsX(3);
    EXPECT_EQ(cam.Pos(), (Vec3{8, 4, 2}));
    EXPECT_EQ(cam.Dest(), (Vec3{1, 1, 1}));
}

TEST(CameraBlend, EachQuantityRunsOnItsOwnClock) {
    Camera cam;
    cam.BlendPosition({10, 0, 0}, 1);
    cam.BlendDestination({0, 0, 10}, 4);
    cam.DoEventsX(1);
    EXPECT_FLOAT_EQ(cam.Pos().x, 10);
    EXPECT_FLOAT_EQ(cam.Dest().z, 2.5f);
    // Setting the position directly does not stop a running blend.
    cam.BlendPosition({20, 0, 0}, 2);
    cam.Pos({0, 0, 0});
    cam.DoEventsX(1);
    EXPECT_FLOAT_EQ(cam.Pos().x, 5);
}

TEST(CameraBlend, AngleBlendReportsWhileItRuns) {
    Camera cam;
    cam.BlendAngle(1, 2, 4);
    EXPECT_EQ(cam.GetAngle(), 1.0f);
    for (int i = 0; i < 3; ++i) {
        cam.DoEventsX(1);
        EXPECT_TRUE(cam.IsAngleBlended());
    }
    cam.DoEventsX(1);
    EXPECT_FALSE(cam.IsAngleBlended());
    EXPECT_FLOAT_EQ(cam.GetAngle(), 2.0f);
}

TEST(CameraBlend, ZeroTimesStartNoBlend) {
    Camera cam;
    cam.Pos({1, 2, 3});
    cam.BlendPosition({9, 9, 9}, 0);
    cam.BlendDestination({9, 9, 9}, 0);
    cam.DoEventsX(1);
    EXPECT_EQ(cam.Pos(), (Vec3{1, 2, 3}));
    EXPECT_EQ(cam.Dest(), (Vec3{0, 0, 0}));

    EXPECT_THROW(cam.BlendAngle(0.5f, 2, 0), Fault);
    EXPECT_EQ(cam.GetAngle(), 0.5f);
    EXPECT_FALSE(cam.IsAngleBlended());
}

} // namespace
} // namespace kl

namespace kl::test {
namespace {

class CameraOnEngine : public EngineTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bring_up());
        mdlKl::Program().Settings.WorldSize = 64000.0f;
    }
};

TEST_F(CameraOnEngine, TheEngineSeesThePositionClampedToTheWorldButTheCameraKeepsIt) {
    Camera cam;
    cam.Pos({-5, -20, 70000});
    cam.Dest({100, 0, 100});
    cam.SetCamera();
    EXPECT_EQ(engine.LastCameraPos, (Vec3{1, -20, 63999}));
    EXPECT_EQ(cam.Pos(), (Vec3{-5, -20, 70000}));
    const Matrix4 expected = MatrixLookAtLH({1, -20, 63999}, {100, 0, 100}, {0, 1, 0});
    EXPECT_EQ(std::memcmp(&expected, state().view.m, sizeof expected), 0);
}

} // namespace
} // namespace kl::test
