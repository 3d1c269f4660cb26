// Projection, camera, lights and the fixed state settings, as they reach the recording device.
#include "engine/math.h"
#include "support/engine_fixture.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>

namespace kl::test {
namespace {

using gfx::Status;

class EngineStates : public EngineTest {
  protected:
    void SetUp() override { ASSERT_TRUE(bring_up({800, 600, FmtX8R8G8B8})); }

    Matrix4 projection() {
        Matrix4 m;
        std::memcpy(&m, state().projection.m, sizeof m);
        return m;
    }
    Matrix4 view() {
        Matrix4 m;
        std::memcpy(&m, state().view.m, sizeof m);
        return m;
    }
};

bool same(const Matrix4& a, const Matrix4& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST_F(EngineStates, TheProjectionHasFixedPlanesAndTheSettingsAspect) {
    const float angle = 0.9f;
    engine.SetLookDistance(50000, angle);
    const Matrix4 near_far = projection();
    engine.SetLookDistance(80000, angle);
    EXPECT_TRUE(same(projection(), near_far)) << "the far value given has no effect";
    EXPECT_TRUE(same(near_far, MatrixPerspectiveFovLH(angle, 1.333f, 1.0f, 50000.0f)));

    // The aspect is read at every call.
    aspect = " 1,6  ";
    engine.SetLookDistance(50000, angle);
    EXPECT_TRUE(same(projection(), MatrixPerspectiveFovLH(angle, 1.6f, 1.0f, 50000.0f)));
    aspect = "-2";
    engine.SetLookDistance(50000, angle);
    EXPECT_TRUE(same(projection(), MatrixPerspectiveFovLH(angle, -2.0f, 1.0f, 50000.0f)));
}

TEST_F(EngineStates, AnAspectThatIsNotANumberLeavesTheProjectionAlone) {
    aspect = "1,25";
    engine.SetLookDistance(50000, 0.7f);
    const Matrix4 kept = projection();
    for (const char* text : {"1.333", "abc", "", "   ", "1,3,3", "0", "0,000", ",", "-", "1 333", "4:3"}) {
        aspect = text;
        engine.SetLookDistance(50000, 1.1f);
        EXPECT_TRUE(same(projection(), kept)) << '"' << text << '"';
    }
    aspect = "1,25";
    engine.SetAspectRatioSource(nullptr);
    engine.SetLookDistance(50000, 1.1f);
    EXPECT_TRUE(same(projection(), kept));
}

TEST_F(EngineStates, TheCameraRollsAboutTheViewingAxis) {
    const Vec3 eye{10, 2, -5}, at{10, 2, 5};
    engine.SetCamera(eye, at, 0);
    EXPECT_TRUE(same(view(), MatrixLookAtLH(eye, at, {0, 1, 0})));
    EXPECT_EQ(engine.LastCameraPos, eye);

    // A point to the right of the viewing axis ends up above it after a quarter turn.
    const Vec3 right{11, 2, 5};
    const Vec3 plain = Vec3TransformCoord(right, view());
    EXPECT_NEAR(plain.x, 1.0f, 1e-5f);
    EXPECT_NEAR(plain.y, 0.0f, 1e-5f);
    engine.SetCamera(eye, at, std::numbers::pi_v<float> / 2);
    const Vec3 rolled = Vec3TransformCoord(right, view());
    EXPECT_NEAR(rolled.x, 0.0f, 1e-5f);
    EXPECT_NEAR(rolled.y, 1.0f, 1e-5f);
    EXPECT_NEAR(rolled.z, plain.z, 1e-4f);
}

TEST_F(EngineStates, HighestLightOnlyGrowsAndOnlyOnSuccess) {
    ASSERT_TRUE(engine.SetLight(2, white_light()));
    EXPECT_EQ(engine.HighestLight, 2);
    ASSERT_TRUE(engine.SetLight(5, white_light()));
    EXPECT_EQ(engine.HighestLight, 5);
    ASSERT_TRUE(engine.SetLight(3, white_light()));
    EXPECT_EQ(engine.HighestLight, 5);
    EXPECT_TRUE(state().light_enabled.at(3));

    gfx::Light bad = white_light();
    bad.Type = 7;
    EXPECT_FALSE(engine.SetLight(9, bad));
    EXPECT_EQ(engine.HighestLight, 5);
    control().failing_calls["LightEnable"] = Status::InvalidCall;
    EXPECT_FALSE(engine.SetLight(6, white_light()));
    EXPECT_EQ(engine.HighestLight, 5);

    control().failing_calls.clear();
    engine.SetLightState(5, false);
    EXPECT_FALSE(state().light_enabled.at(5));
}

TEST_F(EngineStates, DepthWritingIsOnlyTouchedWithTheDepthTestOn) {
    engine.SetZState(true, false);
    EXPECT_EQ(render_state(gfx::rs::ZEnable), 0xFFFFFFFFu);
    EXPECT_EQ(render_state(gfx::rs::ZWriteEnable), 0u);
    engine.SetZState(false, true);
    EXPECT_EQ(render_state(gfx::rs::ZEnable), 0u);
    EXPECT_EQ(render_state(gfx::rs::ZWriteEnable), 0u);
    engine.SetZState(true, true);
    EXPECT_EQ(render_state(gfx::rs::ZWriteEnable), 0xFFFFFFFFu);
}

TEST_F(EngineStates, SwitchesReachThePlatformAsTheirCodes) {
    engine.SetAnisotropicState(true);
    EXPECT_EQ(stage_state(gfx::tss::MagFilter), gfx::TexfAnisotropic);
    EXPECT_EQ(stage_state(gfx::tss::MinFilter), gfx::TexfAnisotropic);
    engine.SetAnisotropicState(false);
    EXPECT_EQ(stage_state(gfx::tss::MinFilter), gfx::TexfLinear);

    engine.SetSpecularState(true);
    EXPECT_EQ(render_state(gfx::rs::SpecularEnable), 0xFFFFFFFFu);
    engine.SetGlobalLight(0xFF404040);
    EXPECT_EQ(render_state(gfx::rs::Ambient), 0xFF404040u);

    engine.SetFog(0.5f);
    EXPECT_EQ(render_state(gfx::rs::FogEnable), 0xFFFFFFFFu);
    EXPECT_EQ(std::bit_cast<float>(render_state(gfx::rs::FogDensity)), 0.0005f) << "thousandths of a unit";
    engine.SetFog(0.0f);
    EXPECT_EQ(render_state(gfx::rs::FogEnable), 0u);
}

TEST_F(EngineStates, WorldTransformsApplyTheObjectMatrixFirst) {
    const Matrix4 a = MatrixRotationY(0.5f), b = MatrixTranslation(1, 2, 3), s = MatrixRotationX(0.25f);
    engine.SetWorld(a, b);
    Matrix4 world;
    std::memcpy(&world, state().world.m, sizeof world);
    EXPECT_TRUE(same(world, b * a));
    EXPECT_FALSE(same(world, a * b));
    engine.SetWorldWithShadow(a, b, s);
    std::memcpy(&world, state().world.m, sizeof world);
    EXPECT_TRUE(same(world, (b * a) * s));

    control().failing_calls["SetTransform"] = Status::InvalidCall;
    EXPECT_THROW(engine.SetWorld(a, b), Fault);
    EXPECT_THROW(engine.SetWorldWithShadow(a, b, s), Fault);
    engine.Cleanup();
    EXPECT_THROW(engine.SetWorld(a, b), Fault);
}

} // namespace
} // namespace kl::test
