// Polygon buffers, pictures and editable textures drawn through the OpenGL back-end and read back:
// blended and opaque planar shadows, a mirror clipped to its triangle, a turned picture, colour-key
// transparency, and a device reset that must give the same pixels.
#include "engine/cls3d_engine.h"
#include "engine/math.h"
#include "engine/mdl_main.h"
#include "overlay/cls2d_picture.h"
#include "overlay/cls2d_texture.h"
#include "platform/gfx/gl/gl_backend.h"
#include "resources/cls3d_polygons.h"
#include "support/gl_test_environment.h"
#include "support/image_files.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <numbers>

namespace kl {
namespace {

constexpr int kWidth = 128, kHeight = 96;
constexpr PackedColor kBackground = 0xFF102040;

int channel(std::uint32_t c, int shift) {
    return static_cast<int>((c >> shift) & 0xFF);
}

::testing::AssertionResult looks(std::uint32_t got, int r, int g, int b, int tolerance = 4) {
    const int gr = channel(got, 16), gg = channel(got, 8), gb = channel(got, 0);
    if (std::abs(gr - r) <= tolerance && std::abs(gg - g) <= tolerance && std::abs(gb - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got (" << gr << ", " << gg << ", " << gb << "), want (" << r << ", " << g << ", " << b << ")";
}
::testing::AssertionResult looks(std::uint32_t got, std::uint32_t want, int tolerance = 4) {
    return looks(got, channel(want, 16), channel(want, 8), channel(want, 0), tolerance);
}

// A horizontal rectangle at height y as two triangles, clockwise seen from above (or from below).
std::vector<PolyVertex> flat_quad(float x0, float x1, float z0, float z1, float y, bool facing_up = true) {
    const float ny = facing_up ? 1.0f : -1.0f;
    const PolyVertex a{x0, y, z0, 0, ny, 0, 0, 1}, b{x0, y, z1, 0, ny, 0, 0, 0}, c{x1, y, z1, 0, ny, 0, 1, 0},
        d{x1, y, z0, 0, ny, 0, 1, 1};
    if (facing_up) return {a, b, c, a, c, d};
    return {a, c, b, a, d, c};
}

// Glowing in its own colour, so that no light is needed to see it.
Material glowing(int r, int g, int b) {
    return mdlMain::MakeMaterial(0, 0, 0, r, g, b, 0, 0);
}

class PlanarOnGl : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        window_ = gfx::CreateRenderWindow("planar test", kWidth, kHeight, true);
        if (window_ == nullptr) GTEST_SKIP() << "no display of any kind";
        aspect_ = "1,333";
        engine_ = std::make_unique<cls3dEngine>();
        engine_->SetAspectRatioSource(&aspect_);
        ASSERT_TRUE(engine_->Initialize(window_));
        mode_ = {kWidth, kHeight, FmtX8R8G8B8};
        ASSERT_TRUE(engine_->SetRes(&mode_, 0, true));
        ASSERT_TRUE(engine_->StencilAvailable);
        ASSERT_TRUE(engine_->ZBiasAvailable);
    }
    void TearDown() override {
        engine_.reset();
        if (window_ != nullptr) gfx::DestroyRenderWindow(window_);
    }

    std::unique_ptr<cls3dPolygons> polygons(const std::vector<PolyVertex>& v, const Material& m,
                                            bool dynamic = true) {
        auto p = std::make_unique<cls3dPolygons>();
        p->Initialize(dynamic);
        p->SetVertexData(v.data(), 0, static_cast<std::int32_t>(v.size()));
        p->SetMaterial(m);
        return p;
    }
    void look(const Vec3& eye, const Vec3& at) {
        eye_ = eye;
        at_ = at;
        engine_->SetCamera(eye, at, 0);
    }
    // Where a world point lands on the screen, in whole pixels.
    std::pair<int, int> screen(const Vec3& p) const {
        const Matrix4 vp = MatrixLookAtLH(eye_, at_, {0, 1, 0}) *
                           MatrixPerspectiveFovLH(std::numbers::pi_v<float> / 4, 1.333f, 1.0f, 50000.0f);
        const Vec3 ndc = Vec3TransformCoord(p, vp);
        return {static_cast<int>((ndc.x + 1) / 2 * kWidth), static_cast<int>((1 - ndc.y) / 2 * kHeight)};
    }
    void begin(bool blended_shadow) {
        engine_->RenderStart({0, 0}, {0, 0});
        engine_->RenderClear(true, kBackground, true, blended_shadow);
    }
    void finish() {
        image_ = gfx::ReadBackBuffer(*engine_->Device(), 0, 0, kWidth, kHeight);
        engine_->RenderEnd();
        engine_->RenderShow();
        ASSERT_EQ(image_.size(), static_cast<std::size_t>(kWidth * kHeight));
    }
    std::uint32_t at(int x, int y) const { return image_[static_cast<std::size_t>(y * kWidth + x)]; }
    std::uint32_t at(const Vec3& world) const {
        const auto [x, y] = screen(world);
        EXPECT_TRUE(x >= 0 && x < kWidth && y >= 0 && y < kHeight) << x << ", " << y;
        return at(std::clamp(x, 0, kWidth - 1), std::clamp(y, 0, kHeight - 1));
    }
    void point_sampling() {
        gfx::Device& d = *engine_->Device();
        d.SetTextureStageState(0, gfx::tss::MagFilter, gfx::TexfPoint);
        d.SetTextureStageState(0, gfx::tss::MinFilter, gfx::TexfPoint);
    }

    platform::WindowHandle window_ = nullptr;
    FixedText<7> aspect_;
    std::unique_ptr<cls3dEngine> engine_;
    DisplayMode mode_;
    Vec3 eye_, at_;
    std::vector<std::uint32_t> image_;
    test::TempDir dir_;
};

PlaneRecord ground_record() {
    PlaneRecord r;
    r.Corner0 = {0, 0, 0};
    r.Corner1 = {0, 0, 10};
    r.Corner2 = {10, 0, 0};
    r.Normal = {0, 1, 0};
    r.Plane = {0, 1, 0, 0};
    return r;
}

TEST_F(PlanarOnGl, OverlappingBlendedShadowsDarkenEachPixelOnce) {
    look({0, 12, -6}, {0, 0, 0});
    auto floor = polygons(flat_quad(-20, 20, -20, 20, 0), glowing(200, 200, 200));
    floor->SetVisibility(1);
    auto left = polygons(flat_quad(-3, 1, -2, 2, 2), glowing(255, 0, 0));
    auto right = polygons(flat_quad(-1, 3, -2, 2, 2), glowing(255, 0, 0), false);
    const PlaneRecord plane = ground_record();
    const Vec3 light{0, 1, 0};

    for (std::int32_t intensity : {128, 255}) {
        SCOPED_TRACE(intensity);
        begin(true);
        floor->Render(0, 2);
        ASSERT_TRUE(engine_->SetShadowState(&plane, &light, intensity, gfx::LightDirectional, false));
        left->Render(0, 2);
        right->Render(0, 2);
        EXPECT_FALSE(engine_->SetShadowState(nullptr, nullptr, 0, 0, false));
        finish();
        // Half-transparent black over grey 200, or plain black.
        const int shade = intensity == 128 ? 100 : 0;
        EXPECT_TRUE(looks(at(Vec3{-2, 0, 0}), shade, shade, shade)) << "left only";
        EXPECT_TRUE(looks(at(Vec3{0, 0, 0}), shade, shade, shade)) << "both: darkened once";
        EXPECT_TRUE(looks(at(Vec3{2, 0, 0}), shade, shade, shade)) << "right only";
        EXPECT_TRUE(looks(at(Vec3{5, 0, 0}), 200, 200, 200)) << "beside the shadows";
        EXPECT_TRUE(looks(at(Vec3{0, 0, 3.5f}), 200, 200, 200)) << "behind them";
    }
}

TEST_F(PlanarOnGl, ADirectionalLightFlattensStraightDownAPointLightSpreads) {
    look({2, 12, -4}, {2, 0, 2});
    auto floor = polygons(flat_quad(-20, 20, -20, 20, 0), glowing(200, 200, 200));
    auto caster = polygons(flat_quad(1, 3, 1, 3, 3), glowing(0, 255, 0));
    const PlaneRecord plane = ground_record();
    auto draw = [&](const Vec3& light, std::int32_t type) {
        begin(false);
        floor->Render(0, 2);
        ASSERT_TRUE(engine_->SetShadowState(&plane, &light, 255, type, false));
        caster->Render(0, 2);
        engine_->SetShadowState(nullptr, nullptr, 0, 0, false);
        finish();
    };

    draw({0, 1, 0}, gfx::LightDirectional);
    for (float x : {1.2f, 2.0f, 2.8f})
        EXPECT_TRUE(looks(at(Vec3{x, 0, 2}), 0, 0, 0)) << "under the caster at x " << x;
    for (float x : {0.7f, 3.3f})
        EXPECT_TRUE(looks(at(Vec3{x, 0, 2}), 200, 200, 200)) << "beside it at x " << x;

    // From a point light at twice the caster's height the shadow is twice its size.
    draw({2, 6, 2}, gfx::LightPoint);
    for (float x : {0.3f, 3.7f})
        EXPECT_TRUE(looks(at(Vec3{x, 0, 2}), 0, 0, 0)) << "spread out to x " << x;
    for (float x : {-0.4f, 4.4f})
        EXPECT_TRUE(looks(at(Vec3{x, 0, 2}), 200, 200, 200)) << "beyond it at x " << x;
}

TEST_F(PlanarOnGl, AReflectionIsClippedToItsTriangle) {
    look({3, 10, -8}, {3, 0, 3});
    // Faces down: from above only its back is seen and culled; the mirror shows its front.
    auto ceiling = polygons(flat_quad(-10, 20, -10, 20, 1, false), glowing(255, 0, 0), false);
    ceiling->SetVisibility(gfx::CullCcw);
    const PlaneRecord mirror = ground_record();
    const Vec3 inside{3, 0, 3}, outside[] = {{-2, 0, 3}, {8, 0, 8}, {3, 0, -1.5f}};

    begin(false);
    ceiling->Render(0, 2);
    finish();
    EXPECT_TRUE(looks(at(inside), kBackground)) << "culled when seen directly";

    for (bool clip : {true, false}) {
        SCOPED_TRACE(clip ? "clipped" : "not clipped");
        begin(false);
        engine_->SetReflectionState(&mirror, clip);
        ceiling->Render(0, 2);
        engine_->SetReflectionState(nullptr, false);
        finish();
        EXPECT_TRUE(looks(at(inside), 255, 0, 0)) << "seen in the mirror";
        for (const Vec3& p : outside) {
            if (clip)
                EXPECT_TRUE(looks(at(p), kBackground)) << p.x << ", " << p.z;
            else
                EXPECT_TRUE(looks(at(p), 255, 0, 0)) << p.x << ", " << p.z;
        }
    }
}

TEST_F(PlanarOnGl, APictureTurnedAQuarterGoesClockwise) {
    cls2dTexture quadrants;
    ASSERT_TRUE(quadrants.LoadForEdit(2, 2));
    ASSERT_TRUE(quadrants.EditStart());
    quadrants.Edit({0, 0}, 255, 255, 0, 0);
    quadrants.Edit({1, 0}, 255, 0, 255, 0);
    quadrants.Edit({0, 1}, 255, 0, 0, 255);
    quadrants.Edit({1, 1}, 255, 255, 255, 255);
    quadrants.EditEnd();
    cls2dPicture picture;
    picture.SetPosition(20, 30, 60, 50);
    picture.Rotate(std::numbers::pi_v<float> / 2);

    begin(false);
    point_sampling();
    picture.Render(&quadrants);
    finish();
    // Now 20 wide and 40 tall about (40, 40); the top-left quarter went to the top right.
    EXPECT_TRUE(looks(at(45, 30), 255, 0, 0));
    EXPECT_TRUE(looks(at(45, 50), 0, 255, 0));
    EXPECT_TRUE(looks(at(35, 30), 0, 0, 255));
    EXPECT_TRUE(looks(at(35, 50), 255, 255, 255));
    for (auto [x, y] : {std::pair{25, 40}, {55, 40}, {40, 16}, {40, 64}})
        EXPECT_TRUE(looks(at(x, y), kBackground)) << x << ", " << y;
}

TEST_F(PlanarOnGl, AColourKeyedTextureIsSeeThroughWhereTheKeyWas) {
    // Magenta top-left, yellow elsewhere.
    test::WriteBytes(dir_.path() / "keyed.bmp",
                     test::EncodeBmp(2, 2, 3, {255, 0, 255, 255, 255, 0, 255, 255, 0, 255, 255, 0}));
    cls2dTexture keyed;
    ASSERT_TRUE(
        keyed.LoadFromFile((dir_.path() / "keyed.bmp").string(), mdlMain::ColorRGB(255, 0, 255), 1, false));
    cls2dPicture picture;
    picture.SetPosition(20, 20, 60, 60);
    begin(false);
    point_sampling();
    picture.Render(&keyed);
    finish();
    EXPECT_TRUE(looks(at(30, 30), kBackground)) << "the keyed quarter";
    EXPECT_TRUE(looks(at(50, 30), 255, 255, 0));
    EXPECT_TRUE(looks(at(30, 50), 255, 255, 0));
}

TEST_F(PlanarOnGl, AResetKeepsEditedLevelsAndStaticBuffers) {
    // A 64 x 64 texture whose levels are each painted one flat colour of their own.
    test::WriteBytes(dir_.path() / "chain.bmp",
                     test::EncodeBmp(64, 64, 3, std::vector<std::uint8_t>(64 * 64 * 3, 9)));
    cls2dTexture chain;
    ASSERT_TRUE(chain.LoadFromFile((dir_.path() / "chain.bmp").string(), 0, 0, true));
    ASSERT_EQ(chain.GetTexture()->GetLevelCount(), 7u);
    const PackedColor level_colour[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
    for (gfx::Dword i = 0; i < 7; ++i) {
        gfx::SurfaceDesc desc;
        gfx::LockedRect lr;
        ASSERT_EQ(chain.GetTexture()->GetLevelDesc(i, &desc), gfx::Status::Ok);
        ASSERT_EQ(chain.GetTexture()->LockRect(i, &lr, nullptr, 0), gfx::Status::Ok);
        auto* pixels = static_cast<std::uint32_t*>(lr.pBits);
        std::fill(pixels, pixels + desc.Width * desc.Height, i < 4 ? level_colour[i] : 0xFFFFFFFF);
        chain.GetTexture()->UnlockRect(i);
    }
    // A 4 x 4 texture edited pixel by pixel, on a static indexed quad.
    auto edited = std::make_shared<cls2dTexture>();
    ASSERT_TRUE(edited->LoadForEdit(4, 4));
    ASSERT_TRUE(edited->EditStart());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            edited->Edit({static_cast<float>(x), static_cast<float>(y)}, 255, x * 80, y * 80, 255 - x * 60);
    edited->EditEnd();
    const PolyVertex quad[4] = {{-1, 1, 0, 0, 0, -1, 0, 0},
                                {1, 1, 0, 0, 0, -1, 1, 0},
                                {1, -1, 0, 0, 0, -1, 1, 1},
                                {-1, -1, 0, 0, 0, -1, 0, 1}};
    const std::uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
    cls3dPolygons board;
    board.Initialize(false);
    board.SetVertexData(quad, 0, 4);
    board.SetIndexData(indices, 0, 6);
    board.SetIndexed(true);
    board.SetMaterial(glowing(255, 255, 255));
    board.SetVisibility(1);
    board.SetTexture(edited);
    board.Position({2.2f, -1, 0}); // the lower right of the screen

    // Levels 0 to 3 each drawn at their own size, so that point mip sampling picks exactly them.
    const int corner[4][2] = {{2, 2}, {68, 2}, {68, 40}, {104, 2}};
    std::vector<cls2dPicture> pictures(4);
    for (std::size_t i = 0; i < 4; ++i) {
        const int size = 64 >> i;
        pictures[i].SetPosition(corner[i][0], corner[i][1], corner[i][0] + size, corner[i][1] + size);
    }
    auto frame = [&] {
        look({0, 0, -6}, {0, 0, 0});
        begin(false);
        point_sampling();
        engine_->Device()->SetTextureStageState(0, gfx::tss::MipFilter, gfx::TexfPoint);
        for (cls2dPicture& p : pictures)
            p.Render(&chain);
        board.Render(0, 2);
        finish();
        return image_;
    };
    const std::vector<std::uint32_t> before = frame();
    for (std::size_t i = 0; i < 4; ++i) {
        const int half = (64 >> i) / 2;
        EXPECT_TRUE(looks(at(corner[i][0] + half, corner[i][1] + half), level_colour[i])) << "level " << i;
    }
    // The board's top-left texel was edited to blue.
    EXPECT_TRUE(looks(at(Vec3{2.2f - 0.75f, -1 + 0.75f, 0}), 0, 0, 255));

    const gfx::TexturePtr old_texture = chain.GetTexture();
    ASSERT_TRUE(engine_->SetRes(&mode_, 0, true));
    EXPECT_NE(chain.GetTexture(), old_texture) << "made again from the stored levels";
    board.SetTexture(edited); // the board let go of it in the reset
    const std::vector<std::uint32_t> after = frame();
    ASSERT_EQ(after.size(), before.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < before.size(); ++i)
        differing += before[i] != after[i];
    EXPECT_EQ(differing, 0u);
}

} // namespace
} // namespace kl
