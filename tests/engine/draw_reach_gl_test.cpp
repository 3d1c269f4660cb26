// DrawReach against the real rasteriser: boxes of every size around a pixel, turned every way, near
// the origin and far from it; every box it leaves out must really draw no pixel when drawn.
#include "engine/draw_reach.h"
#include "engine/math.h"
#include "platform/gfx/gl/gl_backend.h"
#include "support/gl_test_environment.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace kl {
namespace {

constexpr int kWidth = 160, kHeight = 120;

struct ColorV {
    float x, y, z;
    std::uint32_t color;
};

gfx::Matrix to_platform(const Matrix4& m) {
    gfx::Matrix r;
    std::memcpy(r.m, m.data(), sizeof r.m);
    return r;
}

// The twelve triangles of the box low..high.
std::vector<ColorV> box(const Vec3& lo, const Vec3& hi) {
    const auto corner = [&](int i) {
        return ColorV{i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z, 0xFFFFFFFFu};
    };
    static const int faces[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                    {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    std::vector<ColorV> v;
    for (const auto& f : faces)
        for (int i : {f[0], f[1], f[2], f[0], f[2], f[3]})
            v.push_back(corner(i));
    return v;
}

class ReachOnGl : public ::testing::Test {
  protected:
    void SetUp() override {
        system_ = gfx::CreateGlGraphicsSystem();
        if (!system_) GTEST_SKIP() << "no display of any kind";
        window_ = gfx::CreateRenderWindow("reach test", kWidth, kHeight, true);
        ASSERT_NE(window_, nullptr);
        gfx::PresentParameters p;
        p.BackBufferWidth = kWidth;
        p.BackBufferHeight = kHeight;
        p.BackBufferFormat = gfx::FmtX8R8G8B8;
        p.BackBufferCount = 1;
        p.Windowed = true;
        p.hDeviceWindow = window_;
        ASSERT_EQ(system_->CreateDevice(0, gfx::DevTypeHal, window_, gfx::CreateHardwareVertexProcessing, &p,
                                        &device_),
                  gfx::Status::Ok);
        device_->SetRenderState(gfx::rs::Lighting, 0);
        device_->SetRenderState(gfx::rs::ZEnable, 0);
        device_->SetRenderState(gfx::rs::CullMode, gfx::CullNone);
        device_->SetVertexShader(gfx::fvf::Xyz | gfx::fvf::Diffuse);
    }
    void TearDown() override {
        device_.reset();
        system_.reset();
        if (window_ != nullptr) gfx::DestroyRenderWindow(window_);
    }

    // Pixels the box lights up on a cleared screen.
    int pixels_drawn(const Matrix4& world, const Vec3& lo, const Vec3& hi) {
        device_->Clear(0, nullptr, gfx::ClearTarget, 0xFF000000, 1.0f, 0);
        device_->SetTransform(gfx::TsWorld, to_platform(world));
        const std::vector<ColorV> v = box(lo, hi);
        EXPECT_EQ(device_->DrawPrimitiveUP(gfx::PtTriangleList, 12, v.data(), sizeof(ColorV)),
                  gfx::Status::Ok);
        int lit = 0;
        for (std::uint32_t p : gfx::ReadBackBuffer(*device_, 0, 0, kWidth, kHeight))
            lit += (p & 0xFFFFFF) != 0;
        return lit;
    }

    std::unique_ptr<gfx::GraphicsSystem> system_;
    platform::WindowHandle window_ = nullptr;
    gfx::DevicePtr device_;
};

TEST_F(ReachOnGl, EveryBoxLeftOutReallyDrawsNothing) {
    const Matrix4 projection = MatrixPerspectiveFovLH(0.785398f, 4.0f / 3.0f, 1.0f, 50000.0f);
    device_->SetTransform(gfx::TsProjection, to_platform(projection));
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    // A unit across at distance 1 is this many pixels.
    const float focal = kWidth / 2 * 1.81066f;
    for (const Vec3 eye : {Vec3{0, 2, 0}, Vec3{30000, 50, -45000}}) {
        const Matrix4 view = MatrixLookAtLH(eye, {eye.x + 0.3f, eye.y - 0.05f, eye.z + 1}, {0, 1, 0});
        device_->SetTransform(gfx::TsView, to_platform(view));
        const DrawReach reach(view, projection, {0, 0, kWidth, kHeight, 0, 1}, true);
        int left_out = 0, drawn_with_pixels = 0;
        for (int n = 0; n < 400; ++n) {
            const float depth = 20.0f * std::pow(3000.0f, unit(random));
            const float size_px = 0.05f * std::pow(60.0f, unit(random));
            const float half = size_px * depth / focal / 2;
            const Vec3 at{eye.x + 0.3f * depth + (unit(random) - 0.5f) * 1.3f * depth,
                          eye.y + (unit(random) - 0.5f) * depth, eye.z + depth};
            const Matrix4 world = MatrixRotationX(unit(random) * 6.3f) *
                                  MatrixRotationY(unit(random) * 6.3f) * MatrixTranslation(at.x, at.y, at.z);
            const Vec3 lo{-half, -0.4f * half, -2 * half}, hi{half, 0.4f * half, 2 * half};
            if (reach.ReachesNoPixel(world, lo, hi)) {
                ++left_out;
                EXPECT_EQ(pixels_drawn(world, lo, hi), 0)
                    << "box " << n << " at distance " << depth << ", " << size_px << " px";
            } else if (n % 4 == 0 && pixels_drawn(world, lo, hi) > 0) {
                ++drawn_with_pixels;
            }
        }
        // Both kinds are plentiful, so the check above is not empty.
        EXPECT_GT(left_out, 100) << eye.x;
        EXPECT_GT(drawn_with_pixels, 10) << eye.x;
    }
}

} // namespace
} // namespace kl
