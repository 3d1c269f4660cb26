// Planar shadows and reflections on the recording device: when the shadow switches on, the states
// each kind sets, the clip planes' kept side, and the view saved and restored around mirror planes.
// Where the flattening goes is shown by the render tests.
#include "engine/math.h"
#include "support/engine_fixture.h"

#include <array>
#include <cstring>
#include <set>

namespace kl::test {
namespace {

constexpr gfx::Dword kOn = 0xFFFFFFFFu;

// A floor triangle at y = 0, its corners clockwise seen from above.
PlaneRecord floor_triangle() {
    PlaneRecord r;
    r.Corner0 = {0, 0, 0};
    r.Corner1 = {0, 0, 10};
    r.Corner2 = {10, 0, 0};
    r.Normal = {0, 1, 0};
    r.Plane = {0, 1, 0, 0};
    return r;
}

class Planar : public EngineTest {
  protected:
    void bring_up_with(std::set<std::int32_t> depth_formats, bool depth_bias) {
        adapter().depth_stencil_formats = std::move(depth_formats);
        adapter().caps = gfx::CapableCaps();
        if (!depth_bias) adapter().caps.RasterCaps &= ~gfx::RasterCapsZBias;
        ASSERT_TRUE(bring_up());
    }
    bool shadow(std::int32_t intensity, const PlaneRecord* plane, Vec3 light = {0, 1, 0},
                std::int32_t type = gfx::LightDirectional, bool clip = false) {
        return engine.SetShadowState(plane, &light, intensity, type, clip);
    }
    bool shadow_states_off() {
        return render_state(gfx::rs::StencilEnable) == 0 && render_state(gfx::rs::ClipPlaneEnable) == 0 &&
               render_state(gfx::rs::ZBias) == 0 && render_state(gfx::rs::AlphaBlendEnable) == 0;
    }
    // Which of the three clip planes keep a point; points on all three planes count as kept.
    std::array<bool, 3> kept(const Vec3& p) {
        std::array<bool, 3> out{};
        for (std::size_t i = 0; i < 3; ++i) {
            const auto& q = state().clip_planes[i];
            out[i] = q[0] * p.x + q[1] * p.y + q[2] * p.z + q[3] >= -1e-4f;
        }
        return out;
    }
    void expect_triangle_kept(const Vec3& eye) {
        EXPECT_EQ(render_state(gfx::rs::ClipPlaneEnable), 7u);
        EXPECT_EQ(kept({3, 0, 3}), (std::array{true, true, true}));
        EXPECT_EQ(kept({-1, 0, 3}), (std::array{false, true, true})) << "beyond edge 0-1";
        EXPECT_EQ(kept({8, 0, 8}), (std::array{true, false, true})) << "beyond edge 1-2";
        EXPECT_EQ(kept({3, 0, -1}), (std::array{true, true, false})) << "beyond edge 2-0";
        EXPECT_EQ(kept(eye), (std::array{true, true, true})) << "the planes meet at the eye";
    }
    Matrix4 view() {
        Matrix4 r;
        std::memcpy(&r, state().view.m, sizeof r);
        return r;
    }
    bool view_is(const Matrix4& m) { return std::memcmp(state().view.m, &m, sizeof m) == 0; }

    PlaneRecord floor = floor_triangle();
};

TEST_F(Planar, TheShadowIsOnOnlyWhenTheDeviceCanDrawIt) {
    const std::set<std::int32_t> stencil{FmtD24S8, FmtD16}, no_stencil{FmtD16};
    struct Case {
        std::set<std::int32_t> formats;
        bool bias;
        std::int32_t intensity;
        bool with_plane, on;
    };
    for (const Case& c : {Case{stencil, true, 128, true, true}, Case{stencil, true, 0, true, false},
                          Case{stencil, true, 200, false, false}, Case{no_stencil, true, 255, true, true},
                          Case{no_stencil, true, 128, true, false}, Case{stencil, false, 255, true, false},
                          // Outside a byte the answer and the state still agree.
                          Case{stencil, true, 256, true, false}, Case{stencil, true, -1, true, false}}) {
        SCOPED_TRACE(testing::Message() << c.formats.size() << " formats, bias " << c.bias << ", intensity "
                                        << c.intensity << (c.with_plane ? "" : ", no plane"));
        bring_up_with(c.formats, c.bias);
        shadow(255, &floor); // on wherever there is depth bias, so that switching off shows
        EXPECT_EQ(shadow(c.intensity, c.with_plane ? &floor : nullptr), c.on);
        EXPECT_EQ(engine.GetShadowState(), c.on);
        EXPECT_TRUE(c.on || shadow_states_off());
    }
    // Without a light, or when the device refuses a step, the shadow ends switched off too.
    ASSERT_TRUE(shadow(128, &floor));
    EXPECT_FALSE(engine.SetShadowState(&floor, nullptr, 128, gfx::LightDirectional, false));
    EXPECT_FALSE(engine.GetShadowState());
    control().failing_calls["SetMaterial"] = gfx::Status::InvalidCall;
    EXPECT_FALSE(shadow(128, &floor));
    EXPECT_FALSE(engine.GetShadowState());
}

TEST_F(Planar, BlendedShadowsGoThroughTheStencilOpaqueOnesDoNot) {
    bring_up_with({FmtD24S8}, true);
    ASSERT_TRUE(shadow(128, &floor));
    EXPECT_EQ(stage_state(gfx::tss::AlphaOp), gfx::TopSelectArg1) << "the diffuse alpha";
    EXPECT_EQ(render_state(gfx::rs::AlphaBlendEnable), kOn);
    EXPECT_EQ(render_state(gfx::rs::StencilEnable), kOn);
    EXPECT_FLOAT_EQ(state().material.Diffuse.a, 128.0f / 255.0f);
    // What the technique relies on from the device set-up: drawn where 0 < stored, which then drops.
    EXPECT_EQ(render_state(gfx::rs::StencilFunc), gfx::CmpLess);
    EXPECT_EQ(render_state(gfx::rs::StencilPass), gfx::SopDecr);

    ASSERT_TRUE(shadow(255, &floor));
    EXPECT_EQ(render_state(gfx::rs::StencilEnable), 0u);
    EXPECT_EQ(render_state(gfx::rs::AlphaBlendEnable), 0u);
    EXPECT_EQ(render_state(gfx::rs::ZBias), 5u);
    EXPECT_EQ(render_state(gfx::rs::ClipPlaneEnable), 0u);
    EXPECT_EQ(state().texture, nullptr);
    const gfx::Material& m = state().material;
    EXPECT_EQ(m.Diffuse.r + m.Diffuse.g + m.Diffuse.b + m.Ambient.r + m.Emissive.r, 0.0f) << "black";
    EXPECT_EQ(m.Diffuse.a, 1.0f);
}

TEST_F(Planar, ClipPlanesKeepTheTriangleSeenFromTheRealOrMirroredCamera) {
    bring_up_with({FmtD24S8}, true);
    engine.SetCamera({3, 20, -15}, {3, 0, 3}, 0);
    ASSERT_TRUE(shadow(128, &floor, {0, 1, 0}, gfx::LightDirectional, true));
    expect_triangle_kept({3, 20, -15});
    ASSERT_TRUE(shadow(128, &floor));

    engine.SetReflectionState(&floor, true);
    expect_triangle_kept({3, -20, -15});
    // Without clipping asked for, the planes of the earlier call stay.
    PlaneRecord wider = floor;
    wider.Corner2 = {20, 0, 0};
    engine.SetReflectionState(&wider, false);
    EXPECT_EQ(kept({12, 0, 1}), (std::array{true, false, true})) << "still the first triangle";
    engine.SetReflectionState(nullptr, false);
    EXPECT_EQ(render_state(gfx::rs::ClipPlaneEnable), 0u);
}

TEST_F(Planar, TheReflectionRestoresTheViewFromBeforeItsFirstPlane) {
    ASSERT_TRUE(bring_up());
    engine.SetCamera({0, 5, -10}, {0, 0, 0}, 0);
    const Matrix4 camera = view();
    PlaneRecord wall = floor;
    wall.Plane = {1, 0, 0, -4};
    wall.Normal = {1, 0, 0};

    engine.SetReflectionState(&floor, false);
    EXPECT_TRUE(engine.GetReflectionState());
    EXPECT_TRUE(view_is(MatrixReflect(floor.Plane) * camera));
    engine.SetReflectionState(&wall, false);
    EXPECT_TRUE(view_is(MatrixReflect(wall.Plane) * camera)) << "not mirrored twice";
    engine.SetCamera({1, 1, 1}, {0, 0, 0}, 0);
    engine.SetReflectionState(nullptr, false);
    EXPECT_FALSE(engine.GetReflectionState());
    EXPECT_TRUE(view_is(camera));

    // Switching off again must not bring that old view back over a newer camera.
    engine.SetCamera({7, 3, 2}, {0, 0, 0}, 0);
    const Matrix4 current = view();
    engine.SetReflectionState(nullptr, false);
    EXPECT_TRUE(view_is(current));
}

} // namespace
} // namespace kl::test
