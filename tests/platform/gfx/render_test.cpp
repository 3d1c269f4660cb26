// Render tests of the OpenGL back-end: small scenes drawn through the device, pixels read back from
// the back buffer and compared with what the engine's conventions promise.
#include "platform/gfx/device_state.h"
#include "platform/gfx/gl/gl_backend.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

namespace kl::gfx {
namespace {

constexpr int kSize = 64;

struct ScreenV {
    float x, y, z, rhw;
    std::uint32_t color;
    float u, v;
};
constexpr Dword kScreenFvf = fvf::XyzRhw | fvf::Diffuse | 0x100; // 324

struct LitV {
    float x, y, z, nx, ny, nz, u, v;
};
constexpr Dword kLitFvf = fvf::Xyz | fvf::Normal | 0x100;

struct ColorV {
    float x, y, z;
    std::uint32_t color;
};
constexpr Dword kColorFvf = fvf::Xyz | fvf::Diffuse;

Matrix perspective(float fov_y, float aspect, float zn, float zf) {
    Matrix m;
    const float ys = 1.0f / std::tan(fov_y / 2), xs = ys / aspect;
    m.m[0] = xs;
    m.m[5] = ys;
    m.m[10] = zf / (zf - zn);
    m.m[11] = 1;
    m.m[14] = -zn * zf / (zf - zn);
    return m;
}

int channel(std::uint32_t c, int shift) {
    return static_cast<int>((c >> shift) & 0xFF);
}

::testing::AssertionResult near(std::uint32_t got, int r, int g, int b, int tolerance = 3) {
    const int gr = channel(got, 16), gg = channel(got, 8), gb = channel(got, 0);
    if (std::abs(gr - r) <= tolerance && std::abs(gg - g) <= tolerance && std::abs(gb - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got (" << gr << ", " << gg << ", " << gb << "), want (" << r << ", " << g << ", " << b << ")";
}

// Keeps the GL driver loaded until the process ends: SDL unloads it with the last GL window, and
// LeakSanitizer can only attribute (and so suppress) the driver's own leaks while it is loaded.
class DriverKeeper : public ::testing::Environment {
  public:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        keeper_ = CreateRenderWindow("driver keeper", 1, 1, true);
    }
    // Deliberately never destroyed.
  private:
    platform::WindowHandle keeper_ = nullptr;
};
const auto* const driver_keeper = ::testing::AddGlobalTestEnvironment(new DriverKeeper);

class Render : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        system_ = CreateGlGraphicsSystem();
        if (!system_) GTEST_SKIP() << "no display of any kind";
        window_ = CreateRenderWindow("render test", kSize, kSize, true);
        ASSERT_NE(window_, nullptr);
        params_ = make_params();
        ASSERT_EQ(
            system_->CreateDevice(0, DevTypeHal, window_, CreateHardwareVertexProcessing, &params_, &device_),
            Status::Ok);
        begin();
    }
    void TearDown() override {
        device_.reset();
        system_.reset();
        DestroyRenderWindow(window_);
    }

    PresentParameters make_params() const {
        PresentParameters p;
        p.BackBufferWidth = p.BackBufferHeight = kSize;
        p.BackBufferFormat = FmtX8R8G8B8;
        p.BackBufferCount = 1;
        p.Windowed = true;
        p.hDeviceWindow = window_;
        p.EnableAutoDepthStencil = true;
        p.AutoDepthStencilFormat = FmtD24S8;
        return p;
    }

    void begin(Dword clear_color = 0xFF000000) {
        ASSERT_EQ(device_->Clear(0, nullptr, ClearTarget | ClearZBuffer | ClearStencil, clear_color, 1.0f, 1),
                  Status::Ok);
    }

    std::uint32_t pixel(int x, int y) {
        const auto p = ReadBackBuffer(*device_, x, y, 1, 1);
        return p.empty() ? 0xDEADBEEF : p[0];
    }

    void quad(float x1, float y1, float x2, float y2, float z, std::uint32_t color) {
        const ScreenV v[4] = {{x1, y1, z, 1, color, 0, 0},
                              {x2, y1, z, 1, color, 1, 0},
                              {x1, y2, z, 1, color, 0, 1},
                              {x2, y2, z, 1, color, 1, 1}};
        device_->SetVertexShader(kScreenFvf);
        ASSERT_EQ(device_->DrawPrimitiveUP(PtTriangleStrip, 2, v, sizeof(ScreenV)), Status::Ok);
    }

    // Camera at the origin looking down +z, 90 degrees vertical field, depth 1..100.
    void camera() {
        device_->SetTransform(TsWorld, IdentityMatrix());
        device_->SetTransform(TsView, IdentityMatrix());
        device_->SetTransform(TsProjection, perspective(1.5707963f, 1.0f, 1.0f, 100.0f));
    }

    void colour_quad_at(float z, std::uint32_t color, float half = 100.0f) {
        const ColorV v[4] = {{-half, half, z, color},
                             {half, half, z, color},
                             {-half, -half, z, color},
                             {half, -half, z, color}};
        device_->SetVertexShader(kColorFvf);
        ASSERT_EQ(device_->DrawPrimitiveUP(PtTriangleStrip, 2, v, sizeof(ColorV)), Status::Ok);
    }

    TexturePtr solid_texture(std::uint32_t argb, std::int32_t pool = PoolManaged) {
        TexturePtr t;
        EXPECT_EQ(device_->CreateTexture(2, 2, 1, 0, FmtA8R8G8B8, pool, &t), Status::Ok);
        LockedRect lr;
        EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), Status::Ok);
        for (int i = 0; i < 4; ++i)
            std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + i * 4, &argb, 4);
        t->UnlockRect(0);
        return t;
    }

    std::unique_ptr<GraphicsSystem> system_;
    platform::WindowHandle window_ = nullptr;
    PresentParameters params_;
    DevicePtr device_;
};

TEST_F(Render, PretransformedVerticesLandOnTheExactPixels) {
    device_->SetRenderState(rs::ZEnable, 0);
    quad(10, 20, 30, 25, 0, 0xFFFF0000);
    EXPECT_TRUE(near(pixel(10, 20), 255, 0, 0));
    EXPECT_TRUE(near(pixel(29, 24), 255, 0, 0));
    EXPECT_TRUE(near(pixel(9, 20), 0, 0, 0));
    EXPECT_TRUE(near(pixel(30, 20), 0, 0, 0));
    EXPECT_TRUE(near(pixel(10, 19), 0, 0, 0)) << "y runs down from the top";
    EXPECT_TRUE(near(pixel(10, 25), 0, 0, 0));

    // A viewport is given with y down too: the top half of the back buffer.
    ASSERT_EQ(device_->SetViewport({0, 0, kSize, kSize / 2, 0, 1}), Status::Ok);
    begin(0xFF000000);
    camera();
    device_->SetRenderState(rs::Lighting, 0);
    colour_quad_at(5, 0xFF00FF00);
    EXPECT_TRUE(near(pixel(5, 5), 0, 255, 0));
    EXPECT_TRUE(near(pixel(5, kSize / 2 + 5), 0, 0, 0));
}

TEST_F(Render, LitTexturedTriangleIsTextureTimesLight) {
    camera();
    auto tex = solid_texture(0xFFC86432); // (200, 100, 50)
    device_->SetTexture(0, tex);
    Light light;
    light.Type = LightDirectional;
    light.Diffuse = {0.5f, 0.5f, 0.5f, 1};
    light.Direction = {0, 0, 1}; // travelling away from the camera: lights faces that look at it
    ASSERT_EQ(device_->SetLight(0, light), Status::Ok);
    device_->LightEnable(0, true);
    Material m;
    m.Diffuse = {1, 1, 1, 1};
    device_->SetMaterial(m);
    device_->SetRenderState(rs::CullMode, CullNone);
    // Left half faces the light; right half is turned 60 degrees away from it.
    const float c = 0.5f, s = 0.8660254f;
    const LitV v[6] = {{-5, 5, 5, 0, 0, -1, 0, 0},  {0, 5, 5, 0, 0, -1, 1, 0},
                       {-5, -5, 5, 0, 0, -1, 0, 1}, {0.1f, 5, 5, s, 0, -c, 0, 0},
                       {5, 5, 5, s, 0, -c, 1, 0},   {0.1f, -5, 5, s, 0, -c, 0, 1}};
    device_->SetVertexShader(kLitFvf);
    ASSERT_EQ(device_->DrawPrimitiveUP(PtTriangleList, 2, v, sizeof(LitV)), Status::Ok);
    EXPECT_TRUE(near(pixel(12, 24), 100, 50, 25));
    EXPECT_TRUE(near(pixel(40, 24), 50, 25, 12));

    // Global ambient adds material ambient x ambient before the texture multiplies.
    begin();
    m.Ambient = {1, 1, 1, 1};
    device_->SetMaterial(m);
    device_->SetRenderState(rs::Ambient, 0xFF404040);
    ASSERT_EQ(device_->DrawPrimitiveUP(PtTriangleList, 1, v, sizeof(LitV)), Status::Ok);
    EXPECT_TRUE(near(pixel(12, 24), 150, 75, 38));
}

TEST_F(Render, AWhiteTextureDrawsAsNoTextureDoesUnlessItsBorderShows) {
    camera();
    Light light;
    light.Type = LightDirectional;
    light.Diffuse = {0.7f, 0.6f, 0.5f, 1};
    light.Direction = {0.3f, -0.2f, 1};
    device_->SetLight(0, light);
    device_->LightEnable(0, true);
    Material m;
    m.Diffuse = {0.16f, 0.2f, 0.25f, 1};
    m.Emissive = {0.1f, 0.05f, 0.0f, 1};
    device_->SetMaterial(m);
    device_->SetRenderState(rs::CullMode, CullNone);
    device_->SetTextureStageState(0, tss::MagFilter, TexfLinear);
    device_->SetTextureStageState(0, tss::MinFilter, TexfLinear);
    device_->SetTextureStageState(0, tss::MipFilter, TexfLinear);
    // White with a full chain of levels, sampled at every scale across a slanted quad.
    TexturePtr white;
    ASSERT_EQ(device_->CreateTexture(16, 16, 0, 0, FmtX8R8G8B8, PoolManaged, &white), Status::Ok);
    for (Dword level = 0; level < white->GetLevelCount(); ++level) {
        LockedRect lr;
        ASSERT_EQ(white->LockRect(level, &lr, nullptr, 0), Status::Ok);
        SurfaceDesc d;
        white->GetLevelDesc(level, &d);
        std::memset(lr.pBits, 0xFF, d.Size);
        white->UnlockRect(level);
    }
    const LitV v[6] = {{-6, 6, 3, 0, 0.3f, -1, -1, -1},  {6, 6, 30, 0.2f, 0, -1, 2, -1},
                       {-6, -6, 3, -0.1f, 0, -1, -1, 2}, {6, 6, 30, 0.2f, 0, -1, 2, -1},
                       {6, -6, 30, 0, -0.4f, -1, 2, 2},  {-6, -6, 3, -0.1f, 0, -1, -1, 2}};
    device_->SetVertexShader(kLitFvf);
    const auto draw = [&](const TexturePtr& texture) {
        begin();
        device_->SetTexture(0, texture);
        EXPECT_EQ(device_->DrawPrimitiveUP(PtTriangleList, 2, v, sizeof(LitV)), Status::Ok);
        return ReadBackBuffer(*device_, 0, 0, kSize, kSize);
    };
    const std::vector<std::uint32_t> plain = draw(nullptr);
    EXPECT_EQ(draw(white), plain);
    // Texture coordinates run from -1 to 2: with a black border the outer parts go dark.
    device_->SetTextureStageState(0, tss::AddressU, TaddressBorder);
    device_->SetTextureStageState(0, tss::AddressV, TaddressBorder);
    const std::vector<std::uint32_t> bordered = draw(white);
    EXPECT_NE(bordered, plain);
    EXPECT_TRUE(near(bordered[2 * kSize + 2], 0, 0, 0, 0));
}

TEST_F(Render, AMaterialComesBackAfterDrawsThatTookTheDiffuseColourFromTheVertices) {
    camera();
    device_->SetRenderState(rs::CullMode, CullNone);
    device_->SetRenderState(rs::Ambient, 0xFFFFFFFF);
    Material red;
    red.Diffuse = red.Ambient = {1, 0, 0, 1};
    device_->SetMaterial(red);
    const LitV lit[3] = {{-5, 5, 5, 0, 0, -1, 0, 0}, {5, 5, 5, 0, 0, -1, 0, 0}, {-5, -5, 5, 0, 0, -1, 0, 0}};
    struct LitColourV {
        float x, y, z, nx, ny, nz;
        std::uint32_t color;
    };
    const LitColourV coloured[3] = {
        {-5, 5, 5, 0, 0, -1, 0xFF00FF00}, {5, 5, 5, 0, 0, -1, 0xFF00FF00}, {-5, -5, 5, 0, 0, -1, 0xFF00FF00}};
    const auto draw_lit = [&] {
        begin();
        device_->SetVertexShader(kLitFvf);
        device_->DrawPrimitiveUP(PtTriangleList, 1, lit, sizeof(LitV));
        return pixel(20, 20);
    };
    const std::uint32_t first = draw_lit();
    EXPECT_TRUE(near(first, 255, 0, 0));
    // Green vertices with the diffuse colour taken from them, and a light so that it shows.
    Light light;
    light.Type = LightDirectional;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {0, 0, 1};
    device_->SetLight(0, light);
    device_->LightEnable(0, true);
    device_->SetRenderState(rs::ColorVertex, 1);
    device_->SetRenderState(rs::DiffuseMaterialSource, 1);
    begin();
    device_->SetVertexShader(fvf::Xyz | fvf::Normal | fvf::Diffuse);
    device_->DrawPrimitiveUP(PtTriangleList, 1, coloured, sizeof(LitColourV));
    EXPECT_GT(channel(pixel(20, 20), 8), 200);
    // The same material again, handed over or not: red, not the vertices' green.
    EXPECT_TRUE(near(draw_lit(), 255, 0, 0));
    device_->SetMaterial(red);
    EXPECT_TRUE(near(draw_lit(), 255, 0, 0));
}

TEST_F(Render, CullModesFollowTheWindingSeenOnScreen) {
    device_->SetRenderState(rs::ZEnable, 0);
    // Clockwise on the screen: right along the top, then down to the left.
    const ScreenV cw[3] = {
        {4, 4, 0, 1, 0xFFFFFFFF, 0, 0}, {40, 4, 0, 1, 0xFFFFFFFF, 0, 0}, {4, 40, 0, 1, 0xFFFFFFFF, 0, 0}};
    const ScreenV ccw[3] = {cw[0], cw[2], cw[1]};
    device_->SetVertexShader(kScreenFvf);
    struct Case {
        Dword cull;
        bool cw_drawn, ccw_drawn;
    };
    for (const Case& k :
         {Case{CullNone, true, true}, Case{CullCw, false, true}, Case{CullCcw, true, false}}) {
        device_->SetRenderState(rs::CullMode, k.cull);
        begin();
        device_->DrawPrimitiveUP(PtTriangleList, 1, cw, sizeof(ScreenV));
        EXPECT_EQ(channel(pixel(8, 8), 16) > 200, k.cw_drawn) << "cull " << k.cull << ", clockwise";
        begin();
        device_->DrawPrimitiveUP(PtTriangleList, 1, ccw, sizeof(ScreenV));
        EXPECT_EQ(channel(pixel(8, 8), 16) > 200, k.ccw_drawn) << "cull " << k.cull << ", counter-clockwise";
    }

    // The same through the projection: top-left, top-right, bottom-left is clockwise on screen.
    camera();
    device_->SetRenderState(rs::Lighting, 0);
    const ColorV world[3] = {{-4, 4, 5, 0xFFFFFFFF}, {4, 4, 5, 0xFFFFFFFF}, {-4, -4, 5, 0xFFFFFFFF}};
    device_->SetVertexShader(kColorFvf);
    device_->SetRenderState(rs::CullMode, CullCw);
    begin();
    device_->DrawPrimitiveUP(PtTriangleList, 1, world, sizeof(ColorV));
    EXPECT_TRUE(near(pixel(20, 20), 0, 0, 0));
    device_->SetRenderState(rs::CullMode, CullCcw);
    device_->DrawPrimitiveUP(PtTriangleList, 1, world, sizeof(ColorV));
    EXPECT_TRUE(near(pixel(20, 20), 255, 255, 255));
}

TEST_F(Render, DepthTestAndDepthWrites) {
    quad(0, 0, 64, 64, 0.3f, 0xFFFF0000);
    quad(0, 0, 64, 64, 0.6f, 0xFF0000FF);
    EXPECT_TRUE(near(pixel(32, 32), 255, 0, 0)) << "the farther quad is hidden";

    device_->SetRenderState(rs::ZWriteEnable, 0);
    quad(0, 0, 64, 64, 0.2f, 0xFF00FF00);
    EXPECT_TRUE(near(pixel(32, 32), 0, 255, 0));
    device_->SetRenderState(rs::ZWriteEnable, 1);
    quad(0, 0, 64, 64, 0.25f, 0xFF0000FF);
    EXPECT_TRUE(near(pixel(32, 32), 0, 0, 255)) << "the green quad did not write its depth";

    device_->SetRenderState(rs::ZEnable, 0);
    quad(0, 0, 64, 64, 0.9f, 0xFFFFFF00);
    EXPECT_TRUE(near(pixel(32, 32), 255, 255, 0));
}

TEST_F(Render, ExponentialSquaredFog) {
    camera();
    device_->SetRenderState(rs::Lighting, 0);
    device_->SetRenderState(rs::FogColor, 0xFFFFFFFF);
    device_->SetRenderState(rs::FogTableMode, FogExp2);
    // exp(-(10 d)^2) = 0.5 at distance 10.
    device_->SetRenderState(rs::FogDensity, std::bit_cast<Dword>(std::sqrt(std::log(2.0f)) / 10.0f));
    colour_quad_at(10, 0xFF000000);
    EXPECT_TRUE(near(pixel(32, 32), 0, 0, 0)) << "fog is off until enabled";
    device_->SetRenderState(rs::FogEnable, 1);
    colour_quad_at(10, 0xFF000000);
    EXPECT_TRUE(near(pixel(32, 32), 128, 128, 128, 6));
    begin();
    colour_quad_at(20, 0xFF000000);
    // exp(-(20 d)^2) = 1/16
    EXPECT_TRUE(near(pixel(32, 32), 239, 239, 239, 6));
}

TEST_F(Render, AlphaBlendingWithTheStageAlphaOperations) {
    device_->SetRenderState(rs::ZEnable, 0);
    device_->SetRenderState(rs::AlphaBlendEnable, 1);
    device_->SetRenderState(rs::SrcBlend, BlendSrcAlpha);
    device_->SetRenderState(rs::DestBlend, BlendInvSrcAlpha);
    device_->SetTextureStageState(0, tss::AlphaArg1, TaDiffuse);
    device_->SetTextureStageState(0, tss::AlphaArg2, TaTexture);
    auto tex = solid_texture(0x80FF0000); // red, alpha 128
    device_->SetTexture(0, tex);
    struct Case {
        Dword op;
        float alpha;
    };
    for (const Case& k : {Case{TopSelectArg1, 64 / 255.0f}, Case{TopSelectArg2, 128 / 255.0f},
                          Case{TopModulate, 64 / 255.0f * 128 / 255.0f}}) {
        begin(0xFF0000FF);
        device_->SetTextureStageState(0, tss::AlphaOp, k.op);
        quad(0, 0, 64, 64, 0, 0x40FFFFFF);
        const int red = static_cast<int>(std::lround(255 * k.alpha));
        EXPECT_TRUE(near(pixel(32, 32), red, 0, 255 - red, 4)) << "alpha operation " << k.op;
    }
}

TEST_F(Render, ClipPlaneInWorldSpaceKeepsItsNonNegativeSide) {
    camera();
    device_->SetRenderState(rs::Lighting, 0);
    Matrix view = IdentityMatrix();
    view.m[12] = 1; // camera one unit to the left of the world origin
    device_->SetTransform(TsView, view);
    const float plane[4] = {1, 0, 0, 0}; // world x >= 0
    ASSERT_EQ(device_->SetClipPlane(0, plane), Status::Ok);
    device_->SetRenderState(rs::ClipPlaneEnable, 1);
    colour_quad_at(5, 0xFFFFFFFF);
    // World x = 0 appears at screen x = 32 + 32 * 1/5.
    EXPECT_TRUE(near(pixel(32, 32), 0, 0, 0)) << "world x = -1 is clipped";
    EXPECT_TRUE(near(pixel(45, 32), 255, 255, 255));
    device_->SetRenderState(rs::ClipPlaneEnable, 0);
    colour_quad_at(5, 0xFFFFFFFF);
    EXPECT_TRUE(near(pixel(32, 32), 255, 255, 255));
}

TEST_F(Render, StencilLessWithDecrementDarkensEachPixelOnce) {
    begin(0xFFFFFFFF);
    device_->SetRenderState(rs::ZEnable, 0);
    device_->SetRenderState(rs::StencilEnable, 1);
    device_->SetRenderState(rs::StencilFunc, CmpLess);
    device_->SetRenderState(rs::StencilPass, SopDecr);
    device_->SetRenderState(rs::AlphaBlendEnable, 1);
    device_->SetRenderState(rs::SrcBlend, BlendSrcAlpha);
    device_->SetRenderState(rs::DestBlend, BlendInvSrcAlpha);
    device_->SetTextureStageState(0, tss::AlphaOp, TopSelectArg1);
    device_->SetTextureStageState(0, tss::AlphaArg1, TaDiffuse);
    quad(0, 0, 40, 64, 0, 0x80000000);
    quad(20, 0, 64, 64, 0, 0x80000000);
    EXPECT_TRUE(near(pixel(10, 10), 127, 127, 127));
    EXPECT_TRUE(near(pixel(30, 10), 127, 127, 127)) << "the overlap is darkened once";
    EXPECT_TRUE(near(pixel(50, 10), 127, 127, 127));
    device_->SetRenderState(rs::StencilEnable, 0);
    quad(20, 0, 64, 64, 0, 0x80000000);
    EXPECT_TRUE(near(pixel(30, 10), 63, 63, 63));
}

TEST_F(Render, DepthBiasDrawsCoplanarGeometryInFront) {
    camera();
    device_->SetRenderState(rs::Lighting, 0);
    device_->SetRenderState(rs::ZFunc, CmpLess);
    device_->SetRenderState(rs::CullMode, CullNone);
    // A floor seen at a slant, drawn twice with the same vertices.
    auto floor = [&](std::uint32_t color) {
        const ColorV v[4] = {
            {-20, -2, 2, color}, {20, -2, 2, color}, {-20, -2, 60, color}, {20, -2, 60, color}};
        device_->SetVertexShader(kColorFvf);
        device_->DrawPrimitiveUP(PtTriangleStrip, 2, v, sizeof(ColorV));
    };
    floor(0xFF0000FF);
    floor(0xFFFF0000);
    EXPECT_TRUE(near(pixel(32, 50), 0, 0, 255)) << "without bias the second copy fails the strict test";
    device_->SetRenderState(rs::ZBias, 5);
    floor(0xFFFF0000);
    EXPECT_TRUE(near(pixel(32, 50), 255, 0, 0));
    EXPECT_TRUE(near(pixel(32, 36), 255, 0, 0));
}

TEST_F(Render, ManagedTextureAndBufferDrawTheSamePixelsAfterReset) {
    camera();
    device_->SetRenderState(rs::Lighting, 0);
    device_->SetRenderState(rs::CullMode, CullNone);
    TexturePtr tex;
    ASSERT_EQ(device_->CreateTexture(2, 1, 1, 0, FmtR5G6B5, PoolManaged, &tex), Status::Ok);
    LockedRect lr;
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, 0), Status::Ok);
    const std::uint16_t texels[2] = {0xF800, 0x07E0}; // red, green
    std::memcpy(lr.pBits, texels, sizeof texels);
    tex->UnlockRect(0);

    VertexBufferPtr vb;
    ASSERT_EQ(device_->CreateVertexBuffer(4 * sizeof(LitV), 0, kLitFvf, PoolManaged, &vb), Status::Ok);
    std::uint8_t* bytes = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &bytes, 0), Status::Ok);
    const LitV v[4] = {{-5, 5, 5, 0, 0, -1, 0, 0},
                       {5, 5, 5, 0, 0, -1, 1, 0},
                       {-5, -5, 5, 0, 0, -1, 0, 1},
                       {5, -5, 5, 0, 0, -1, 1, 1}};
    std::memcpy(bytes, v, sizeof v);
    vb->Unlock();

    auto draw = [&] {
        device_->SetTexture(0, tex);
        device_->SetStreamSource(0, vb, sizeof(LitV));
        device_->SetVertexShader(kLitFvf);
        ASSERT_EQ(device_->DrawPrimitive(PtTriangleStrip, 0, 2), Status::Ok);
    };
    draw();
    const auto before = ReadBackBuffer(*device_, 0, 0, kSize, kSize);
    EXPECT_TRUE(near(before[32 * kSize + 10], 255, 0, 0));
    EXPECT_TRUE(near(before[32 * kSize + 54], 0, 255, 0));

    PresentParameters p = make_params();
    ASSERT_EQ(device_->Reset(&p), Status::Ok);
    begin();
    camera();
    device_->SetRenderState(rs::Lighting, 0);
    device_->SetRenderState(rs::CullMode, CullNone);
    draw();
    EXPECT_EQ(ReadBackBuffer(*device_, 0, 0, kSize, kSize), before);
}

TEST_F(Render, IndexedDrawsFromBuffersAndMemory) {
    device_->SetRenderState(rs::ZEnable, 0);
    const ScreenV v[4] = {{0, 0, 0, 1, 0xFF00FF00, 0, 0},
                          {64, 0, 0, 1, 0xFF00FF00, 0, 0},
                          {0, 64, 0, 1, 0xFF00FF00, 0, 0},
                          {64, 64, 0, 1, 0xFF00FF00, 0, 0}};
    const std::uint16_t idx[3] = {0, 1, 2};
    device_->SetVertexShader(kScreenFvf);
    ASSERT_EQ(device_->DrawIndexedPrimitiveUP(PtTriangleList, 0, 4, 1, idx, FmtIndex16, v, sizeof(ScreenV)),
              Status::Ok);
    EXPECT_TRUE(near(pixel(5, 5), 0, 255, 0));
    EXPECT_TRUE(near(pixel(60, 60), 0, 0, 0));

    camera();
    device_->SetRenderState(rs::Lighting, 0);
    device_->SetRenderState(rs::CullMode, CullNone);
    VertexBufferPtr vb;
    IndexBufferPtr ib;
    const ColorV world[4] = {
        {-9, 9, 5, 0xFFFF0000}, {9, 9, 5, 0xFFFF0000}, {-9, -9, 5, 0xFFFF0000}, {9, -9, 5, 0xFFFF0000}};
    ASSERT_EQ(device_->CreateVertexBuffer(sizeof world, 0, kColorFvf, PoolManaged, &vb), Status::Ok);
    ASSERT_EQ(device_->CreateIndexBuffer(6 * 2, 0, FmtIndex16, PoolManaged, &ib), Status::Ok);
    std::uint8_t* bytes = nullptr;
    vb->Lock(0, 0, &bytes, 0);
    std::memcpy(bytes, world, sizeof world);
    vb->Unlock();
    const std::uint16_t two[6] = {0, 1, 2, 1, 3, 2};
    ib->Lock(0, 0, &bytes, 0);
    std::memcpy(bytes, two, sizeof two);
    ib->Unlock();
    device_->SetStreamSource(0, vb, sizeof(ColorV));
    device_->SetIndices(ib, 0);
    device_->SetVertexShader(kColorFvf);
    begin();
    ASSERT_EQ(device_->DrawIndexedPrimitive(PtTriangleList, 0, 4, 3, 1), Status::Ok);
    EXPECT_TRUE(near(pixel(60, 60), 255, 0, 0)) << "second triangle only";
    EXPECT_TRUE(near(pixel(5, 5), 0, 0, 0));
    begin();
    ASSERT_EQ(device_->DrawIndexedPrimitive(PtTriangleList, 0, 4, 0, 2), Status::Ok);
    EXPECT_TRUE(near(pixel(60, 60), 255, 0, 0));
    EXPECT_TRUE(near(pixel(5, 5), 255, 0, 0));
}

TEST_F(Render, FullScreenDeviceInTheCurrentModeDrawsAndPresents) {
    DisplayModeInfo mode;
    ASSERT_EQ(system_->GetAdapterDisplayMode(0, &mode), Status::Ok);
    ASSERT_GT(system_->GetAdapterModeCount(0), 0u);
    device_.reset();
    PresentParameters p = make_params();
    p.Windowed = false;
    p.BackBufferWidth = static_cast<Dword>(mode.Width);
    p.BackBufferHeight = static_cast<Dword>(mode.Height);
    p.BackBufferFormat = mode.Format;
    p.FullScreen_PresentationInterval = PresentIntervalImmediate;
    ASSERT_EQ(system_->CreateDevice(0, DevTypeHal, window_, 0, &p, &device_), Status::Ok);
    EXPECT_EQ(device_->TestCooperativeLevel(), Status::Ok);
    begin(0xFF000000);
    device_->SetRenderState(rs::ZEnable, 0);
    const float right = static_cast<float>(mode.Width), bottom = static_cast<float>(mode.Height);
    quad(right - 10, bottom - 10, right, bottom, 0, 0xFF00FF00);
    EXPECT_TRUE(near(pixel(mode.Width - 1, mode.Height - 1), 0, 255, 0)) << "the bottom-right corner";
    EXPECT_TRUE(near(pixel(mode.Width - 11, mode.Height - 1), 0, 0, 0));
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), Status::Ok);
    p.Windowed = true;
    p.BackBufferWidth = p.BackBufferHeight = kSize;
    EXPECT_EQ(device_->Reset(&p), Status::Ok) << "back to a window";
}

TEST_F(Render, MultisampledDeviceDrawsAndReadsBack) {
    std::int32_t samples = 0;
    for (std::int32_t s : {2, 4, 8})
        if (system_->CheckDeviceMultiSampleType(0, DevTypeHal, FmtX8R8G8B8, true, s) == Status::Ok)
            samples = s;
    EXPECT_NE(system_->CheckDeviceMultiSampleType(0, DevTypeHal, FmtX8R8G8B8, true, 3), Status::Ok);
    if (samples == 0) GTEST_SKIP() << "no multisampling here";
    device_.reset();
    PresentParameters p = make_params();
    p.MultiSampleType = samples;
    ASSERT_EQ(system_->CreateDevice(0, DevTypeHal, window_, 0, &p, &device_), Status::Ok)
        << samples << " samples";
    begin(0xFF000000);
    device_->SetRenderState(rs::ZEnable, 0);
    quad(8, 8, 24, 24, 0, 0xFFFFFFFF);
    EXPECT_TRUE(near(pixel(16, 16), 255, 255, 255));
    EXPECT_TRUE(near(pixel(4, 4), 0, 0, 0));
    // A diagonal edge gets in-between values only when samples are really taken.
    const ScreenV tri[3] = {{32, 32, 0, 1, 0xFFFFFFFF, 0, 0},
                            {63, 32, 0, 1, 0xFFFFFFFF, 0, 0},
                            {32, 63.3f, 0, 1, 0xFFFFFFFF, 0, 0}};
    device_->SetRenderState(rs::CullMode, CullNone);
    device_->DrawPrimitiveUP(PtTriangleList, 1, tri, sizeof(ScreenV));
    const auto row = ReadBackBuffer(*device_, 32, 40, 32, 1);
    ASSERT_EQ(row.size(), 32u);
    EXPECT_TRUE(std::any_of(row.begin(), row.end(), [](std::uint32_t c) {
        const int r = channel(c, 16);
        return r > 10 && r < 245;
    }));
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), Status::Ok);
}

} // namespace
} // namespace kl::gfx
