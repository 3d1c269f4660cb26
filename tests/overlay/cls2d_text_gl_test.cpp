// Screen text drawn through the OpenGL back-end and read back: where the status line's pixels fall,
// alignment by pixel bounds, bold against regular, and the same pixels after a device reset.
#include "engine/cls3d_engine.h"
#include "engine/mdl_main.h"
#include "overlay/cls2d_text.h"
#include "platform/gfx/gl/gl_backend.h"
#include "support/gl_test_environment.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stb_image_write.h>

namespace kl {
namespace {

constexpr int kWidth = 1000, kHeight = 64;
constexpr const char* kStatusLine = "59.87 fps 1";

struct Image {
    std::vector<std::uint32_t> pixels;
    int Lum(int x, int y) const {
        const std::uint32_t c = pixels[static_cast<std::size_t>(y * kWidth + x)];
        return std::max({(c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF});
    }
};

// Pixels at least this bright count as text.
constexpr int kLit = 64;

struct LitBox {
    int left = kWidth, top = kHeight, right = -1, bottom = -1; // inclusive
    int count = 0;
    long sum = 0;
};
LitBox lit_in(const Image& img, int x0, int y0, int x1, int y1) {
    LitBox b;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const int l = img.Lum(x, y);
            b.sum += l;
            if (l < kLit) continue;
            ++b.count;
            b.left = std::min(b.left, x);
            b.right = std::max(b.right, x);
            b.top = std::min(b.top, y);
            b.bottom = std::max(b.bottom, y);
        }
    return b;
}

class TextOnGl : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        window_ = gfx::CreateRenderWindow("text test", kWidth, kHeight, true);
        if (window_ == nullptr) GTEST_SKIP() << "no display of any kind";
        aspect_ = "1,333";
        engine_ = std::make_unique<cls3dEngine>();
        engine_->SetAspectRatioSource(&aspect_);
        ASSERT_TRUE(engine_->Initialize(window_));
        EngineCaps caps;
        ASSERT_TRUE(engine_->GetPossibleCaps(FmtX8R8G8B8, true, &caps));
        max_samples_ = caps.AntiAlias;
        mode_ = {kWidth, kHeight, FmtX8R8G8B8};
        ASSERT_TRUE(engine_->SetRes(&mode_, 0, true));
    }
    void TearDown() override {
        engine_.reset();
        if (window_ != nullptr) gfx::DestroyRenderWindow(window_);
    }

    // One frame on black with the texts drawn; the back buffer as it was before presenting.
    template <class Draw> Image frame(Draw draw) {
        engine_->RenderStart({0, 0}, {0, 0});
        engine_->RenderClear(true, mdlMain::ColorRGB(0, 0, 0), false, false);
        draw();
        Image img{gfx::ReadBackBuffer(*engine_->Device(), 0, 0, kWidth, kHeight)};
        engine_->RenderEnd();
        engine_->RenderShow();
        EXPECT_EQ(img.pixels.size(), static_cast<std::size_t>(kWidth * kHeight));
        return img;
    }
    Image status_line_frame(cls2dText& text) {
        return frame([&] { text.Render(kStatusLine); });
    }
    static void make_status_line(cls2dText& text, bool bold = false) {
        text.SetFont("Arial", 20, bold, false, false);
        text.SetColor(mdlMain::ColorRGB(255, 255, 255));
        text.SetPosition(0, 0, 900, 20);
    }

    platform::WindowHandle window_ = nullptr;
    FixedText<7> aspect_;
    std::unique_ptr<cls3dEngine> engine_;
    std::int32_t max_samples_ = 0;
    DisplayMode mode_;
};

TEST_F(TextOnGl, TheStatusLineLightsPixelsInsideItsRectangleOnly) {
    cls2dText hud;
    make_status_line(hud);
    const Image img = status_line_frame(hud);
    if (const char* png = std::getenv("KL_TEXT_PNG")) {
        std::vector<std::uint8_t> rgb;
        for (std::uint32_t c : img.pixels)
            rgb.insert(rgb.end(), {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)});
        stbi_write_png(png, kWidth, kHeight, 3, rgb.data(), kWidth * 3);
    }

    const LitBox inside = lit_in(img, 0, 0, 900, 20);
    const LitBox all = lit_in(img, 0, 0, kWidth, kHeight);
    EXPECT_GT(inside.count, 100);
    EXPECT_EQ(all.count, inside.count) << "nothing drawn outside (0, 0)-(900, 20)";
    EXPECT_LE(inside.left, 2) << "the line starts at the left edge";
    EXPECT_LT(inside.right, 120) << "eleven characters at 20 pixels";
    EXPECT_GE(inside.top, 2) << "the cell's top holds the accents' room";
    EXPECT_GT(inside.bottom, 16) << "the p reaches below the baseline";

    // The digits stand on the baseline at row 16: the first glyph, a 5, ends on the row above it.
    const LitBox five = lit_in(img, 0, 0, 10, 20);
    EXPECT_GE(five.bottom, 14);
    EXPECT_LE(five.bottom, 16);
    EXPECT_GE(five.bottom - five.top, 11) << "a capital-height digit, about 13 rows";

    // Solid stems reach the full colour.
    int full = 0;
    for (std::uint32_t c : img.pixels)
        full += (c & 0xFFFFFF) == 0xFFFFFF ? 1 : 0;
    EXPECT_GT(full, 30);
}

TEST_F(TextOnGl, CentredAndRightBottomTextSitWhereTheFlagsSay) {
    cls2dText prompt;
    prompt.SetFont("Arial", 20, true, false, false);
    prompt.SetColor(mdlMain::ColorRGB(255, 255, 255));
    const std::string question = "Really quit? Return = yes, ESC = no";

    prompt.SetFormat(1, 1);
    prompt.SetPosition(0, kHeight - 20, kWidth, kHeight);
    const Image centred = frame([&] { prompt.Render(question); });
    const LitBox c = lit_in(centred, 0, 0, kWidth, kHeight);
    ASSERT_GT(c.count, 0);
    EXPECT_NEAR((c.left + c.right) / 2.0, kWidth / 2.0, 3);
    EXPECT_GE(c.top, kHeight - 20);

    prompt.SetFormat(2, 2);
    prompt.SetPosition(100, 0, 600, 60);
    const Image right = frame([&] { prompt.Render(question); });
    const LitBox r = lit_in(right, 0, 0, kWidth, kHeight);
    ASSERT_GT(r.count, 0);
    EXPECT_LE(r.right, 599);
    EXPECT_GE(r.right, 595) << "the last glyph ends at the right edge";
    EXPECT_LE(r.bottom, 59);
    EXPECT_GE(r.bottom, 57) << "the descenders end at the bottom edge";
    EXPECT_EQ(r.right - r.left, c.right - c.left) << "the same line, moved";
    EXPECT_EQ(r.bottom - r.top, c.bottom - c.top);
}

TEST_F(TextOnGl, BoldIsVisiblyHeavierThanRegular) {
    cls2dText regular, bold;
    make_status_line(regular);
    make_status_line(bold, true);
    const LitBox r = lit_in(status_line_frame(regular), 0, 0, kWidth, kHeight);
    const LitBox b = lit_in(status_line_frame(bold), 0, 0, kWidth, kHeight);
    EXPECT_GT(b.count, r.count * 5 / 4);
    EXPECT_GT(b.sum, r.sum * 5 / 4);
}

TEST_F(TextOnGl, ADeviceResetGivesTheSamePixelsWithoutSetFont) {
    if (max_samples_ < 2) GTEST_SKIP() << "no multisampling here";
    cls2dText hud;
    make_status_line(hud);
    const Image before = status_line_frame(hud);
    ASSERT_GT(lit_in(before, 0, 0, kWidth, kHeight).count, 100);

    for (const std::int32_t samples : {max_samples_, 0}) {
        ASSERT_TRUE(engine_->SetRes(&mode_, samples, true));
        ASSERT_EQ(engine_->AntiAlias, samples);
        ASSERT_NE(hud.dev_font(), nullptr);
        const Image after = status_line_frame(hud);
        int differing = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                differing += std::abs(after.Lum(x, y) - before.Lum(x, y)) > 2 ? 1 : 0;
        EXPECT_EQ(differing, 0) << "with " << samples << " samples";
    }
}

} // namespace
} // namespace kl
