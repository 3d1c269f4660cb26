// System fonts found through fontconfig and sized by cell height, and the device font drawing on the
// recording back-end: what it hands the device, what it leaves set, and how it fails.
#include "platform/d3dx/font.h"
#include "platform/gfx/recording/recording_system.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace kl::d3dx {
namespace {

using gfx::Status;

std::unique_ptr<SystemFont> make_font(std::string face, int height, int weight = 400, bool italic = false,
                                      bool underline = false) {
    std::unique_ptr<SystemFont> font;
    EXPECT_EQ(SystemFont::Create({std::move(face), height, weight, italic, underline}, &font), Status::Ok);
    return font;
}

int coverage_sum(const GlyphImage& g) {
    int sum = 0;
    for (std::uint8_t c : g.coverage)
        sum += c;
    return sum;
}

TEST(SystemFont, ArialMeansAMetricCompatibleFaceSizedByCellHeight) {
    const auto regular = make_font("Arial", 20);
    const auto bold = make_font("Arial", 20, 700);
    ASSERT_TRUE(regular && bold);
    EXPECT_EQ(regular->Face()->FamilyName(), "Liberation Sans");
    EXPECT_EQ(regular->Face()->Weight(), 400);
    EXPECT_EQ(bold->Face()->Weight(), 700);
    EXPECT_FALSE(bold->Face()->SyntheticBold()) << "the family has a bold face of its own";
    EXPECT_NE(bold->Face()->FilePath(), regular->Face()->FilePath());

    const FaceMetrics& m = regular->Face()->Metrics();
    EXPECT_EQ(m.CellHeight(), 20);
    // The face's Windows metrics (1854 above, 434 below per 2288 units) put the baseline at 16.
    EXPECT_EQ(m.ascent, 16);
    EXPECT_GT(m.underline_top, 0);
    EXPECT_LE(m.underline_top + m.underline_thickness, m.descent);
    for (int h : {1, 7, 33, 101})
        EXPECT_EQ(make_font("Arial", h)->Face()->Metrics().CellHeight(), h) << h;
    const auto italic = make_font("Arial", 20, 400, true);
    EXPECT_TRUE(italic->Face()->Italic() && !italic->Face()->SyntheticItalic());
    // Unknown names and the empty name still give a face to draw with.
    EXPECT_GT(make_font("No Such Face Anywhere", 20)->Face()->Glyph(U'x').advance, 0);
    EXPECT_FALSE(make_font("", 20)->Face()->FamilyName().empty());

    // A negative height is the em height, so the same number gives a taller cell.
    EXPECT_GT(make_font("Arial", -20)->Face()->Metrics().CellHeight(), 20);
    EXPECT_EQ(make_font("Arial", 0)->Face()->Metrics().CellHeight(), kDefaultCellHeight);

    const GlyphImage& a = regular->Face()->Glyph(U'A');
    const GlyphImage& heavy = bold->Face()->Glyph(U'A');
    EXPECT_GT(coverage_sum(heavy), coverage_sum(a) * 11 / 10);
    EXPECT_GE(heavy.advance, a.advance);
    // Capitals stand on the baseline and reach about three quarters of the way up the cell.
    EXPECT_GE(a.top, 12);
    EXPECT_LE(a.top, m.ascent);
    EXPECT_EQ(a.top - a.height, 0);
}

TEST(SystemFont, GlyphsOfControlAndMissingCharacters) {
    const auto font = make_font("Arial", 20);
    FontFace& face = *font->Face();
    const GlyphImage& space = face.Glyph(U' ');
    EXPECT_GT(space.advance, 0);
    EXPECT_TRUE(space.coverage.empty());
    for (char32_t c : {U'\t', U'\n', U'\r', char32_t{0x7F}, char32_t{0x85}}) {
        EXPECT_EQ(face.Glyph(c).advance, 0) << static_cast<int>(c);
        EXPECT_TRUE(face.Glyph(c).coverage.empty());
    }
    // Characters the face lacks share the missing-glyph image, which is drawn.
    const GlyphImage& missing = face.Glyph(char32_t{0x10FFFD});
    EXPECT_EQ(&missing, &face.Glyph(char32_t{0xE000}));
    EXPECT_GT(missing.advance, 0);
    EXPECT_EQ(&face.Glyph(U'A'), &face.Glyph(U'A')) << "rasterised once";
}

TEST(SystemFont, AbsurdSizesFailOrDrawNothingInsteadOfExhaustingMemory) {
    std::unique_ptr<SystemFont> font;
    EXPECT_EQ(SystemFont::Create({"Arial", INT_MIN, 400, false, false}, &font), Status::InvalidCall);
    EXPECT_EQ(SystemFont::Create({"Arial", INT_MAX, 400, false, false}, &font), Status::InvalidCall);
    EXPECT_EQ(font, nullptr);
    const auto huge = make_font("Arial", 5000);
    ASSERT_TRUE(huge);
    const GlyphImage& w = huge->Face()->Glyph(U'W');
    EXPECT_TRUE(w.coverage.empty()) << "larger than any glyph texture";
    EXPECT_GT(w.advance, 3000);
}

struct FontVertex {
    float x, y, z, rhw;
    gfx::Dword color;
    float u, v;
};

struct Bounds {
    float left = 1e9f, top = 1e9f, right = -1e9f, bottom = -1e9f;
};
Bounds bounds_of(const std::vector<FontVertex>& vs) {
    Bounds b;
    for (const FontVertex& v : vs) {
        b.left = std::min(b.left, v.x);
        b.right = std::max(b.right, v.x);
        b.top = std::min(b.top, v.y);
        b.bottom = std::max(b.bottom, v.y);
    }
    return b;
}

class DeviceFontTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gfx::PresentParameters p;
        p.BackBufferWidth = 1024;
        p.BackBufferHeight = 768;
        p.BackBufferFormat = gfx::FmtX8R8G8B8;
        p.Windowed = true;
        params = p;
        ASSERT_EQ(
            sys.CreateDevice(0, gfx::DevTypeHal, nullptr, gfx::CreateHardwareVertexProcessing, &p, &device),
            Status::Ok);
        system_font = make_font("Arial", 20);
        ASSERT_TRUE(system_font);
    }
    std::unique_ptr<DeviceFont> make(const SystemFont& font) {
        std::unique_ptr<DeviceFont> f;
        EXPECT_EQ(DeviceFont::Create(device, font, &f), Status::Ok);
        return f;
    }
    // The vertices of the draws made since mark.
    std::vector<FontVertex> drawn_since(std::size_t mark) {
        std::vector<FontVertex> out;
        for (const gfx::Call& c : sys.Log().Since(mark).Find("DrawPrimitiveUP")) {
            EXPECT_EQ(c.args[0], gfx::PtTriangleList);
            EXPECT_EQ(c.args[2], sizeof(FontVertex));
            const auto vs = c.DataAs<FontVertex>();
            EXPECT_EQ(vs.size(), c.args[1] * 3);
            out.insert(out.end(), vs.begin(), vs.end());
        }
        return out;
    }
    std::vector<FontVertex> draw(DeviceFont& font, std::string_view text, gfx::Rect rect, gfx::Dword format,
                                 int* height = nullptr) {
        const std::size_t mark = sys.Log().Mark();
        const int h = font.DrawText(text, -1, &rect, format, 0xFFFFFFFF);
        if (height != nullptr) *height = h;
        return drawn_since(mark);
    }
    gfx::RecordingDevice& recording() { return *sys.LastDevice(); }

    gfx::RecordingSystem sys;
    gfx::DevicePtr device;
    gfx::PresentParameters params;
    std::unique_ptr<SystemFont> system_font;
};

TEST_F(DeviceFontTest, MakesItsGlyphTextureInTheDefaultPoolAndNeedsADevice) {
    const auto font = make(*system_font);
    const gfx::Call* create = sys.Log().Last("CreateTexture");
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(create->args[4], gfx::FmtA8R8G8B8);
    EXPECT_EQ(create->args[5], gfx::PoolDefault) << "lost in a reset, as the font's owner expects";
    EXPECT_EQ(&font->Face(), system_font->Face().get());

    std::unique_ptr<DeviceFont> none;
    EXPECT_EQ(DeviceFont::Create(nullptr, *system_font, &none), Status::InvalidCall);
    sys.Control().failing_calls["CreateTexture"] = Status::OutOfMemory;
    EXPECT_EQ(DeviceFont::Create(device, *system_font, &none), Status::OutOfMemory);
    EXPECT_EQ(none, nullptr);
}

TEST_F(DeviceFontTest, DrawsEachVisibleGlyphAsOneQuadInTheRectangle) {
    const auto font = make(*system_font);
    int height = 0;
    const auto vs = draw(*font, "59.87 fps 1", {0, 0, 900, 20}, 0, &height);
    EXPECT_EQ(height, 20);
    EXPECT_EQ(vs.size(), 9u * 6) << "nine glyphs, the two blanks draw nothing";
    const Bounds b = bounds_of(vs);
    EXPECT_GE(b.left, 0);
    EXPECT_LE(b.left, 2) << "starts at the left edge";
    EXPECT_GE(b.top, 0);
    EXPECT_LE(b.bottom, 20);
    EXPECT_LT(b.right, 120);
    for (const FontVertex& v : vs) {
        EXPECT_EQ(v.color, 0xFFFFFFFFu);
        EXPECT_EQ(v.rhw, 1.0f);
        EXPECT_TRUE(v.u >= 0 && v.u <= 1 && v.v >= 0 && v.v <= 1);
    }
    // The quads fall on whole pixels, so each texel lands on exactly one pixel.
    for (const FontVertex& v : vs)
        EXPECT_EQ(v.x, std::floor(v.x));
}

TEST_F(DeviceFontTest, LeavesEveryStateAsItFoundIt) {
    const auto font = make(*system_font);
    gfx::TexturePtr scene_texture;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, gfx::FmtA8R8G8B8, gfx::PoolManaged, &scene_texture),
              Status::Ok);
    // States a scene may leave behind, several of which would spoil text.
    device->SetRenderState(gfx::rs::AlphaBlendEnable, 0);
    device->SetRenderState(gfx::rs::DestBlend, gfx::BlendOne);
    device->SetRenderState(gfx::rs::CullMode, gfx::CullCw);
    device->SetRenderState(gfx::rs::FogEnable, 1);
    device->SetRenderState(gfx::rs::FillMode, gfx::FillWireframe);
    device->SetTextureStageState(0, gfx::tss::ColorOp, gfx::TopSelectArg2);
    device->SetTextureStageState(0, gfx::tss::MinFilter, gfx::TexfAnisotropic);
    device->SetTextureStageState(0, gfx::tss::AddressU, gfx::TaddressMirror);
    device->SetVertexShader(0x112);
    device->SetTexture(0, scene_texture);
    const gfx::DeviceState before = recording().State();

    const std::size_t mark = sys.Log().Mark();
    ASSERT_EQ(font->DrawText("Really quit?", -1, nullptr, 0, 0xFFFFFFFF), 0) << "no rectangle, no text";
    const gfx::Rect rect{0, 0, 200, 20};
    ASSERT_EQ(font->DrawText("Really quit?", -1, &rect, 0, 0xFFFFFFFF), 20);
    const gfx::DeviceState& after = recording().State();
    EXPECT_EQ(after.render, before.render);
    EXPECT_EQ(after.stage, before.stage);
    EXPECT_EQ(after.fvf, 0x112u);
    EXPECT_EQ(after.texture, scene_texture);

    // What held while the text was drawn.
    const gfx::CallLog calls = sys.Log().Since(mark);
    const auto names = calls.Names();
    const auto draw_at = std::find(names.begin(), names.end(), "DrawPrimitiveUP") - names.begin();
    ASSERT_LT(static_cast<std::size_t>(draw_at), names.size());
    auto last_before_draw = [&](const char* name, double code) {
        double value = -1;
        for (std::ptrdiff_t i = 0; i < draw_at; ++i) {
            const gfx::Call& c = calls.Calls()[static_cast<std::size_t>(i)];
            if (c.name == name && c.args[c.args.size() - 2] == code) value = c.args.back();
        }
        return value;
    };
    EXPECT_EQ(last_before_draw("SetRenderState", gfx::rs::AlphaBlendEnable), 1);
    EXPECT_EQ(last_before_draw("SetRenderState", gfx::rs::DestBlend), gfx::BlendInvSrcAlpha);
    EXPECT_EQ(last_before_draw("SetTextureStageState", gfx::tss::ColorOp), gfx::TopModulate);
    EXPECT_EQ(last_before_draw("SetTextureStageState", gfx::tss::MinFilter), gfx::TexfPoint);
    EXPECT_EQ(calls.CountWith("SetVertexShader", {324}), 1u);
    EXPECT_EQ(calls.CountWith("SetTexture", {0, double(gfx::ResourceId(font->Texture()))}), 1u);
}

TEST_F(DeviceFontTest, ClipsToTheRectangleUnlessToldNotTo) {
    const auto font = make(*system_font);
    const auto clipped = draw(*font, "WWWWWWWW", {10, 5, 60, 15}, 0);
    ASSERT_FALSE(clipped.empty());
    const Bounds c = bounds_of(clipped);
    EXPECT_GE(c.left, 10);
    EXPECT_LE(c.right, 60);
    EXPECT_GE(c.top, 5);
    EXPECT_LE(c.bottom, 15);
    const Bounds free = bounds_of(draw(*font, "WWWWWWWW", {10, 5, 60, 15}, dt::NoClip));
    EXPECT_GT(free.right, 100);
    EXPECT_GT(free.bottom, 15);
    EXPECT_TRUE(draw(*font, "WWWW", {60, 5, 10, 15}, 0).empty()) << "an inverted rectangle shows nothing";
}

TEST_F(DeviceFontTest, UnderlineIsOneBarPerLineBelowTheBaseline) {
    const auto underlined = make_font("Arial", 20, 400, false, true);
    const auto font = make(*underlined);
    int height = 0;
    const auto vs = draw(*font, "ab\ncd", {0, 0, 200, 100}, 0, &height);
    EXPECT_EQ(height, 40);
    ASSERT_EQ(vs.size(), (4u + 2u) * 6);
    const FaceMetrics& m = underlined->Face()->Metrics();
    // The bars are the quads of the texture's solid corner: one texture coordinate for all corners.
    int bars = 0;
    for (std::size_t q = 0; q < vs.size(); q += 6) {
        if (vs[q].u != vs[q + 4].u) continue;
        ++bars;
        EXPECT_EQ(vs[q].y, static_cast<float>(m.ascent + m.underline_top + 20 * (bars - 1)));
        EXPECT_EQ(vs[q + 4].y - vs[q].y, static_cast<float>(m.underline_thickness));
        EXPECT_EQ(vs[q].x, 0);
    }
    EXPECT_EQ(bars, 2);
}

TEST_F(DeviceFontTest, GrowsItsTextureWhenManyLargeGlyphsDoNotFit) {
    const auto large = make_font("Arial", 120);
    const auto font = make(*large);
    std::string text;
    std::size_t visible = 0;
    for (char c = '!'; c <= '~'; ++c) {
        text += c;
        visible += large->Face()->Glyph(static_cast<unsigned char>(c)).coverage.empty() ? 0 : 1;
    }
    const auto vs = draw(*font, text, {0, 0, 20000, 200}, 0);
    EXPECT_EQ(vs.size(), visible * 6) << "every glyph drawn, none lost in the move";
    const auto creates = sys.Log().Find("CreateTexture");
    ASSERT_GE(creates.size(), 2u);
    EXPECT_GT(creates.back().args[0], kFirstAtlasSide);
    EXPECT_LE(creates.back().args[0], kMaxAtlasSide);
    EXPECT_EQ(sys.Log().Last("SetTexture", {0})->args[1], 0) << "the scene's texture put back";
    EXPECT_EQ(sys.Log().CountWith("SetTexture", {0, double(gfx::ResourceId(font->Texture()))}), 1u)
        << "drawn from the grown texture";
}

TEST_F(DeviceFontTest, DrawsNothingWithATextureLostInAResetOrAFailingDevice) {
    const auto font = make(*system_font);
    const gfx::Rect rect{0, 0, 200, 20};
    ASSERT_EQ(font->DrawText("abc", -1, &rect, 0, 0xFFFFFFFF), 20);

    const gfx::DeviceState before = recording().State();
    sys.Control().failing_calls["DrawPrimitiveUP"] = Status::InvalidCall;
    EXPECT_EQ(font->DrawText("abc", -1, &rect, 0, 0xFFFFFFFF), 0);
    EXPECT_EQ(recording().State().render, before.render) << "states put back after a failed draw";
    EXPECT_EQ(recording().State().stage, before.stage);
    sys.Control().failing_calls.clear();

    sys.Control().failing_calls["GetTextureStageState"] = Status::InvalidCall;
    EXPECT_TRUE(draw(*font, "abc", rect, 0).empty()) << "unknown states are not overwritten";
    EXPECT_EQ(recording().State().render, before.render);
    sys.Control().failing_calls.clear();

    gfx::PresentParameters p = params;
    ASSERT_EQ(device->Reset(&p), Status::Ok);
    int height = -1;
    EXPECT_TRUE(draw(*font, "abc", rect, 0, &height).empty()) << "never blank boxes from a dead texture";
    EXPECT_EQ(height, 0);
    EXPECT_TRUE(draw(*font, "xyz", rect, 0).empty()) << "new glyphs cannot be written either";

    // A fresh font on the reset device draws again.
    EXPECT_EQ(make(*system_font)->DrawText("abc", -1, &rect, 0, 0xFFFFFFFF), 20);
}

} // namespace
} // namespace kl::d3dx
