// Planar shadows and reflections as they reach the recording device: when the shadow switches on,
// which states each kind sets, where the flattening goes, the clip planes' kept side, and the view
// saved and restored around mirror planes.
#include "engine/math.h"
#include "engine/mdl_main.h"
#include "support/engine_fixture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>

namespace kl::test {
namespace {

using gfx::Status;
constexpr gfx::Dword kOn = 0xFFFFFFFFu;

// A floor triangle at y = 0 whose corners run clockwise seen from above; Plane is y = 0.
PlaneRecord floor_triangle() {
    PlaneRecord r;
    r.Corner0 = {0, 0, 0};
    r.Corner1 = {0, 0, 10};
    r.Corner2 = {10, 0, 0};
    r.Normal = {0, 1, 0};
    r.Plane = {0, 1, 0, 0};
    return r;
}

Matrix4 as_matrix(const gfx::Matrix& m) {
    Matrix4 r;
    std::memcpy(&r, m.m, sizeof r);
    return r;
}

bool same(const Matrix4& a, const Matrix4& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class Planar : public EngineTest {
  protected:
    // Brings the device up with the given depth formats and with or without depth bias.
    void bring_up_with(std::set<std::int32_t> depth_formats, bool depth_bias) {
        adapter().depth_stencil_formats = std::move(depth_formats);
        if (!depth_bias) adapter().caps.RasterCaps &= ~gfx::RasterCapsZBias;
        ASSERT_TRUE(bring_up());
    }
    bool shadow(std::int32_t intensity, const PlaneRecord* plane, std::int32_t type = gfx::LightDirectional,
                Vec3 light = {0, 1, 0}, bool clip = false) {
        return engine.SetShadowState(plane, &light, intensity, type, clip);
    }
    bool shadow_states_off() {
        return render_state(gfx::rs::StencilEnable) == 0 && render_state(gfx::rs::ClipPlaneEnable) == 0 &&
               render_state(gfx::rs::ZBias) == 0 && render_state(gfx::rs::AlphaBlendEnable) == 0;
    }
    // Which of the three clip planes keep a point.
    std::array<bool, 3> kept_by_planes(const Vec3& p) {
        std::array<bool, 3> kept{};
        for (std::size_t i = 0; i < 3; ++i) {
            const auto& q = state().clip_planes[i];
            kept[i] = q[0] * p.x + q[1] * p.y + q[2] * p.z + q[3] >= 0;
        }
        return kept;
    }
    // The largest distance of a point from the three planes.
    float off_planes(const Vec3& p) {
        float worst = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            const auto& q = state().clip_planes[i];
            worst = std::max(worst, std::abs(q[0] * p.x + q[1] * p.y + q[2] * p.z + q[3]));
        }
        return worst;
    }
    Matrix4 view() { return as_matrix(state().view); }

    PlaneRecord floor = floor_triangle();
};

TEST_F(Planar, TheShadowNeedsAPlaneAnIntensityAndDepthBias) {
    bring_up_with({FmtD24S8, FmtD16}, true);
    EXPECT_TRUE(shadow(128, &floor));
    EXPECT_FALSE(shadow(0, &floor)) << "intensity 0 switches it off";
    EXPECT_FALSE(engine.GetShadowState());
    EXPECT_TRUE(shadow_states_off());
    EXPECT_TRUE(shadow(255, &floor));
    EXPECT_FALSE(shadow(200, nullptr));
    EXPECT_FALSE(engine.GetShadowState());
    EXPECT_TRUE(shadow_states_off());
}

TEST_F(Planar, WithoutAStencilFormatOnlyTheOpaqueShadowIsDrawn) {
    bring_up_with({FmtD16}, true);
    ASSERT_FALSE(engine.StencilAvailable);
    EXPECT_FALSE(shadow(128, &floor));
    EXPECT_FALSE(engine.GetShadowState());

    ASSERT_TRUE(shadow(255, &floor));
    EXPECT_TRUE(engine.GetShadowState());
    EXPECT_EQ(render_state(gfx::rs::StencilEnable), 0u);
    EXPECT_EQ(render_state(gfx::rs::AlphaBlendEnable), 0u);
    EXPECT_EQ(render_state(gfx::rs::ZBias), 5u);
    EXPECT_EQ(state().texture, nullptr);
    const gfx::Material& m = state().material;
    EXPECT_EQ(m.Diffuse.r + m.Diffuse.g + m.Diffuse.b + m.Ambient.r + m.Emissive.r, 0.0f) << "black";
    EXPECT_EQ(m.Diffuse.a, 1.0f) << "opaque";
}

TEST_F(Planar, ADeviceWithoutDepthBiasNeverShowsShadows) {
    bring_up_with({FmtD24S8, FmtD16}, false);
    EXPECT_FALSE(shadow(255, &floor));
    EXPECT_FALSE(shadow(128, &floor));
    EXPECT_FALSE(engine.GetShadowState());
}

TEST_F(Planar, ABlendedShadowDrawsDiffuseAlphaThroughTheStencil) {
    bring_up_with({FmtD24S8, FmtD16}, true);
    ASSERT_TRUE(shadow(128, &floor));
    EXPECT_EQ(stage_state(gfx::tss::AlphaOp), gfx::TopSelectArg1);
    EXPECT_EQ(render_state(gfx::rs::AlphaBlendEnable), kOn);
    EXPECT_EQ(render_state(gfx::rs::StencilEnable), kOn);
    EXPECT_EQ(render_state(gfx::rs::ClipPlaneEnable), 0u) << "no clipping asked for";
    EXPECT_FLOAT_EQ(state().material.Diffuse.a, 128.0f / 255.0f);
    // The device set-up the technique relies on: drawn where 0 < stored value, which then drops.
    EXPECT_EQ(render_state(gfx::rs::StencilFunc), gfx::CmpLess);
    EXPECT_EQ(render_state(gfx::rs::StencilPass), gfx::SopDecr);

    EXPECT_FALSE(shadow(128, nullptr));
    EXPECT_TRUE(shadow_states_off());
}

TEST_F(Planar, TheShadowMatrixFlattensAlongTheLight) {
    bring_up_with({FmtD24S8}, true);
    // A directional light straight above drops every point vertically.
    ASSERT_TRUE(shadow(255, &floor, gfx::LightDirectional, {0, 1, 0}));
    Vec3 p = Vec3TransformCoord({2, 5, 3}, engine.GetShadowMatrix());
    EXPECT_NEAR(p.x, 2, 1e-5);
    EXPECT_NEAR(p.y, 0, 1e-5);
    EXPECT_NEAR(p.z, 3, 1e-5);
    // A slanted direction shifts the shadow away from the light.
    ASSERT_TRUE(shadow(255, &floor, gfx::LightDirectional, {1, 1, 0}));
    p = Vec3TransformCoord({0, 2, 0}, engine.GetShadowMatrix());
    EXPECT_NEAR(p.x, -2, 1e-5);
    EXPECT_NEAR(p.y, 0, 1e-5);
    // A point light projects along the ray from its position.
    for (std::int32_t type : {gfx::LightPoint, gfx::LightSpot}) {
        ASSERT_TRUE(shadow(255, &floor, type, {0, 2, 0}));
        p = Vec3TransformCoord({1, 1, 0}, engine.GetShadowMatrix());
        EXPECT_NEAR(p.x, 2, 1e-5) << type;
        EXPECT_NEAR(p.y, 0, 1e-5) << type;
    }
}

TEST_F(Planar, ShadowClipPlanesKeepTheTriangleSeenFromTheCamera) {
    bring_up_with({FmtD24S8}, true);
    engine.SetCamera({3, 20, -15}, {3, 0, 3}, 0);
    ASSERT_TRUE(shadow(128, &floor, gfx::LightDirectional, {0, 1, 0}, true));
    EXPECT_EQ(render_state(gfx::rs::ClipPlaneEnable), 7u);
    EXPECT_EQ(kept_by_planes({3, 0, 3}), (std::array{true, true, true}));
    EXPECT_EQ(kept_by_planes({-1, 0, 3}), (std::array{false, true, true})) << "beyond edge 0-1";
    EXPECT_EQ(kept_by_planes({8, 0, 8}), (std::array{true, false, true})) << "beyond edge 1-2";
    EXPECT_EQ(kept_by_planes({3, 0, -1}), (std::array{true, true, false})) << "beyond edge 2-0";
    // The planes pass through the camera position.
    EXPECT_LT(off_planes({3, 20, -15}), 1e-4f);

    ASSERT_TRUE(shadow(128, &floor));
    EXPECT_EQ(render_state(gfx::rs::ClipPlaneEnable), 0u);
}

TEST_F(Planar, AShadowThatCannotBeSetUpEndsSwitchedOff) {
    bring_up_with({FmtD24S8}, true);
    // Outside a byte, or without a light, the answer and the state agree.
    for (std::int32_t intensity : {256, 300, -1}) {
        ASSERT_TRUE(shadow(128, &floor));
        EXPECT_FALSE(shadow(intensity, &floor)) << intensity;
        EXPECT_FALSE(engine.GetShadowState()) << intensity;
        EXPECT_TRUE(shadow_states_off());
    }
    ASSERT_TRUE(shadow(128, &floor));
    EXPECT_FALSE(engine.SetShadowState(&floor, nullptr, 128, gfx::LightDirectional, false));
    EXPECT_FALSE(engine.GetShadowState());

    control().failing_calls["SetMaterial"] = Status::InvalidCall;
    EXPECT_FALSE(shadow(128, &floor));
    EXPECT_FALSE(engine.GetShadowState());
}

TEST_F(Planar, TheReflectionKeepsTheFirstSavedViewAcrossPlanes) {
    ASSERT_TRUE(bring_up());
    engine.SetCamera({0, 5, -10}, {0, 0, 0}, 0);
    const Matrix4 camera = view();
    PlaneRecord wall = floor;
    wall.Plane = {1, 0, 0, -4};
    wall.Normal = {1, 0, 0};

    engine.SetReflectionState(&floor, false);
    EXPECT_TRUE(engine.GetReflectionState());
    EXPECT_TRUE(same(view(), MatrixReflect(floor.Plane) * camera));
    engine.SetReflectionState(&wall, false);
    EXPECT_TRUE(same(view(), MatrixReflect(wall.Plane) * camera)) << "not mirrored twice";
    engine.SetReflectionState(nullptr, false);
    EXPECT_FALSE(engine.GetReflectionState());
    EXPECT_TRUE(same(view(), camera));

    // A camera set while mirrored replaces the mirrored view; switching off restores the saved one.
    engine.SetReflectionState(&floor, false);
    engine.SetCamera({1, 1, 1}, {0, 0, 0}, 0);
    engine.SetReflectionState(nullptr, false);
    EXPECT_TRUE(same(view(), camera));
}

TEST_F(Planar, ReflectionClipPlanesUseTheMirroredCamera) {
    ASSERT_TRUE(bring_up());
    engine.SetCamera({3, 20, -15}, {3, 0, 3}, 0);
    engine.SetReflectionState(&floor, true);
    EXPECT_EQ(render_state(gfx::rs::ClipPlaneEnable), 7u);
    EXPECT_EQ(kept_by_planes({3, 0, 3}), (std::array{true, true, true}));
    EXPECT_EQ(kept_by_planes({-1, 0, 3}), (std::array{false, true, true}));
    EXPECT_EQ(kept_by_planes({8, 0, 8}), (std::array{true, false, true}));
    EXPECT_EQ(kept_by_planes({3, 0, -1}), (std::array{true, true, false}));
    EXPECT_LT(off_planes({3, -20, -15}), 1e-4f) << "through the mirrored eye";

    // Without clipping asked for, the planes of the earlier call stay on.
    PlaneRecord other = floor;
    other.Corner2 = {20, 0, 0};
    engine.SetReflectionState(&other, false);
    EXPECT_EQ(render_state(gfx::rs::ClipPlaneEnable), 7u);
    EXPECT_EQ(kept_by_planes({12, 0, 1}), (std::array{true, false, true})) << "still the first triangle";
    engine.SetReflectionState(nullptr, false);
    EXPECT_EQ(render_state(gfx::rs::ClipPlaneEnable), 0u);
}

TEST_F(Planar, SwitchingOffAReflectionThatIsNotOnKeepsTheCamera) {
    ASSERT_TRUE(bring_up());
    engine.SetCamera({0, 5, -10}, {0, 0, 0}, 0);
    engine.SetReflectionState(&floor, false);
    engine.SetReflectionState(nullptr, false);
    engine.SetCamera({7, 3, 2}, {0, 0, 0}, 0);
    const Matrix4 current = view();
    engine.Device()->SetRenderState(gfx::rs::ClipPlaneEnable, 3);
    engine.SetReflectionState(nullptr, false);
    EXPECT_TRUE(same(view(), current)) << "an old saved view does not come back";
    EXPECT_EQ(render_state(gfx::rs::ClipPlaneEnable), 0u);
    EXPECT_FALSE(engine.GetReflectionState());
}

} // namespace
} // namespace kl::test
