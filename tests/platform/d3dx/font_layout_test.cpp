// The pure parts of the device font: reading text bytes, placing lines in a rectangle, clipping
// glyph quads and packing glyph images.
#include "platform/d3dx/font_atlas.h"
#include "platform/d3dx/font_layout.h"
#include "platform/d3dx/font_text.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>

namespace kl::d3dx {
namespace {

std::u32string decode(std::string_view bytes, int count = -1) {
    std::vector<char32_t> out{U'x'}; // must be replaced, not appended to
    DecodeFontText(bytes, count, &out);
    return {out.begin(), out.end()};
}

TEST(FontText, ReadsUtf8AndFallsBackToTheWindowsCodePageByteByByte) {
    EXPECT_EQ(decode("59.87 fps 1"), U"59.87 fps 1");
    EXPECT_EQ(decode("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"), U"caf\u00E9 \u20AC \U0001F600");
    // Lone high bytes are 8-bit text: the euro sign, a curly quote, a Latin-1 letter.
    EXPECT_EQ(decode("\x80\x96\xE9t\xE9"), U"\u20AC\u2013\u00E9t\u00E9");
    // Undefined code-page bytes keep their value.
    EXPECT_EQ(decode("\x81\x8D"), U"\u0081\u008D");
    // Broken sequences never swallow the bytes after them.
    EXPECT_EQ(decode("\xC3"), U"\u00C3");
    EXPECT_EQ(decode("\xE2\x82X"), U"\u00E2\u201AX");
    EXPECT_EQ(decode("\xC0\xAF"), U"\u00C0\u00AF") << "overlong form";
    EXPECT_EQ(decode("\xED\xA0\x80").size(), 3u) << "encoded surrogate";
    EXPECT_EQ(decode("\xF4\x90\x80\x80").size(), 4u) << "beyond U+10FFFF";
}

TEST(FontText, CountLimitsTheBytesAndMinusOneStopsAtTheFirstNul) {
    const std::string text("ab\0cd", 5);
    EXPECT_EQ(decode(text), U"ab");
    EXPECT_EQ(decode(text, 5), std::u32string(U"ab\0cd", 5));
    EXPECT_EQ(decode(text, 1), U"a");
    EXPECT_EQ(decode(text, 0), U"");
    EXPECT_EQ(decode("abc", 99), U"abc");
    // A count that cuts a sequence leaves its first byte as an 8-bit character.
    EXPECT_EQ(decode("\xC3\xA9", 1), U"\u00C3");
}

std::vector<PlacedLine> lay_out(std::u32string_view text, gfx::Rect rect, gfx::Dword format, int advance = 10,
                                int line_height = 20) {
    const std::vector<char32_t> chars(text.begin(), text.end());
    return LayOutLines(chars, std::vector<int>(chars.size(), advance), line_height, rect, format);
}

TEST(FontLayout, AlignsOneLineInTheRectangle) {
    const gfx::Rect r{100, 50, 301, 150}; // 201 wide, 100 high; text 50 wide, 20 high
    struct Case {
        gfx::Dword format;
        int x, top;
    };
    for (const Case& c : {Case{dt::Left | dt::Top, 100, 50}, Case{dt::Center, 175, 50},
                          Case{dt::Right, 251, 50}, Case{dt::VCenter, 100, 90}, Case{dt::Bottom, 100, 130},
                          Case{dt::Center | dt::VCenter, 175, 90}, Case{dt::Right | dt::Bottom, 251, 130}}) {
        const auto lines = lay_out(U"hello", r, c.format);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].x, c.x) << "format " << c.format;
        EXPECT_EQ(lines[0].top, c.top) << "format " << c.format;
        EXPECT_EQ(lines[0].width, 50);
        EXPECT_EQ(lines[0].count, 5u);
    }
    // Wider than the rectangle: centred text sticks out on both sides, right-aligned text on the left.
    EXPECT_EQ(lay_out(U"0123456789", {0, 0, 60, 20}, dt::Center)[0].x, -20);
    EXPECT_EQ(lay_out(U"0123456789", {0, 0, 60, 20}, dt::Right)[0].x, -40);
    EXPECT_EQ(lay_out(U"", {0, 0, 60, 20}, dt::Right)[0].x, 60) << "an empty text is one empty line";
}

TEST(FontLayout, BreaksLinesAtEveryLineEndUnlessSingleLine) {
    const auto lines = lay_out(U"ab\r\ncde\nf\rg", {0, 0, 100, 100}, dt::Right | dt::Bottom);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].top, 20) << "the block of four lines ends at the bottom";
    EXPECT_EQ(lines[3].top, 80);
    EXPECT_EQ(lines[1].x, 70);
    EXPECT_EQ(lines[1].first, 4u);
    EXPECT_EQ(lines[1].count, 3u);
    EXPECT_EQ(lines[3].first, 10u);

    const auto single = lay_out(U"ab\ncd", {0, 0, 100, 100}, dt::SingleLine | dt::VCenter, 10, 20);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].count, 5u);
    EXPECT_EQ(single[0].top, 40);
}

TEST(FontLayout, RectanglesAtTheEndsOfTheRangeDoNotOverflow) {
    const auto far = lay_out(U"abc", {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, dt::Center | dt::VCenter);
    EXPECT_EQ(far[0].x, -16) << "(INT_MAX - INT_MIN - 30) / 2 from INT_MIN";
    EXPECT_EQ(far[0].top, -11);
    const auto low = lay_out(U"abc", {INT_MIN, INT_MIN, INT_MIN, INT_MIN}, dt::Right | dt::Bottom);
    EXPECT_EQ(low[0].x, INT_MIN) << "clamped, not wrapped";
    EXPECT_EQ(low[0].top, INT_MIN);
}

TEST(FontLayout, ClippingMovesTheTextureCoordinatesWithTheEdges) {
    GlyphQuad q{-5, 10, 15, 30, 0.0f, 0.5f, 0.2f, 0.7f}; // 20 pixels over 0.2 and 0.2 of the texture
    ASSERT_TRUE(ClipQuad(&q, {0, 0, 100, 25}));
    EXPECT_FLOAT_EQ(q.x0, 0);
    EXPECT_FLOAT_EQ(q.u0, 0.05f);
    EXPECT_FLOAT_EQ(q.x1, 15);
    EXPECT_FLOAT_EQ(q.u1, 0.2f);
    EXPECT_FLOAT_EQ(q.y1, 25);
    EXPECT_FLOAT_EQ(q.v1, 0.65f);
    EXPECT_FLOAT_EQ(q.v0, 0.5f);

    GlyphQuad outside{100, 0, 110, 10, 0, 0, 1, 1};
    EXPECT_FALSE(ClipQuad(&outside, {0, 0, 100, 25})) << "touching the right edge is outside";
    GlyphQuad any{0, 0, 10, 10, 0, 0, 1, 1};
    EXPECT_FALSE(ClipQuad(&any, {50, 0, 10, 25})) << "an inverted rectangle shows nothing";
}

TEST(FontAtlas, PlacesImagesApartAndInsideUntilFull) {
    ShelfPacker packer(64, 32);
    struct Placed {
        int x, y, w, h;
    };
    std::vector<Placed> placed;
    // Heights that keep changing, as glyphs' do; a failure for one size leaves room for others.
    for (int i = 0; i < 200; ++i) {
        const int w = 5 + i % 7, h = 6 + i % 4;
        int x = -1, y = -1;
        if (packer.Place(w, h, &x, &y)) placed.push_back({x, y, w, h});
    }
    ASSERT_GT(placed.size(), 15u) << "a 64x32 texture holds more than that";
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const Placed& a = placed[i];
        EXPECT_TRUE(a.x >= 0 && a.y >= 0 && a.x + a.w <= 64 && a.y + a.h <= 32) << i;
        for (std::size_t j = 0; j < i; ++j) {
            const Placed& b = placed[j];
            // At least one texel apart, so that no image reads its neighbour.
            const bool apart =
                a.x >= b.x + b.w + 1 || b.x >= a.x + a.w + 1 || a.y >= b.y + b.h + 1 || b.y >= a.y + a.h + 1;
            EXPECT_TRUE(apart) << i << " and " << j;
        }
    }
    int x = 0, y = 0;
    EXPECT_FALSE(packer.Place(64, 4, &x, &y)) << "no room for the gap";
    EXPECT_FALSE(packer.Place(0, 4, &x, &y));
    packer.Clear();
    ASSERT_TRUE(packer.Place(63, 31, &x, &y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

} // namespace
} // namespace kl::d3dx
