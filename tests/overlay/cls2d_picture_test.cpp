// Screen pictures: corners and centre, turning about the centre from the shape last placed, colour
// and opacity, and the blending each combination of picture and texture asks the device for.
#include "engine/mdl_main.h"
#include "fault/fault.h"
#include "overlay/cls2d_picture.h"
#include "overlay/cls2d_texture.h"
#include "support/engine_fixture.h"
#include "support/image_files.h"
#include "support/temp_dir.h"

#include <cstring>
#include <limits>
#include <numbers>

namespace kl::test {
namespace {

using Corners = std::vector<std::pair<float, float>>;

Corners corners(const cls2dPicture& p) {
    Corners out;
    for (const ScreenVertex& v : p.Vertices())
        out.emplace_back(v.x, v.y);
    return out;
}

TEST(Picture, PositionGivesCornersAndAnUnroundedCentre) {
    cls2dPicture p;
    p.SetPosition(100, 50, 300, 150);
    EXPECT_EQ(corners(p), (Corners{{100, 50}, {300, 50}, {100, 150}, {300, 150}}));
    EXPECT_EQ(p.GetCentre().x, 200);
    EXPECT_EQ(p.GetCentre().y, 100);
    p.SetPosition(0, 0, 3, 3);
    EXPECT_EQ(p.GetCentre().x, 1.5f);
    EXPECT_EQ(p.GetCentre().y, 1.5f);

    // A sum of corners outside 32 bits is an overflow, raised after the vertices were set.
    constexpr std::int32_t big = std::numeric_limits<std::int32_t>::max();
    EXPECT_THROW(p.SetPosition(big, 0, 1, 10), Fault);
    EXPECT_EQ(p.Vertices()[1].x, 1.0f);
    EXPECT_EQ(p.GetCentre().x, 1.5f) << "the centre is not";
    EXPECT_NO_THROW(p.SetPosition(big, -big, 0, 0));
}

TEST(Picture, TurnsClockwiseOnScreenFromThePlacedShape) {
    cls2dPicture p;
    p.SetPosition(100, 50, 300, 150);
    p.Rotate(std::numbers::pi_v<float> / 2);
    const Corners expected{{250, 0}, {250, 200}, {150, 0}, {150, 200}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(corners(p)[i].first, expected[i].first, 1e-3) << i;
        EXPECT_NEAR(corners(p)[i].second, expected[i].second, 1e-3) << i;
    }

    cls2dPicture once, twice;
    once.SetPosition(10, 20, 90, 60);
    twice.SetPosition(10, 20, 90, 60);
    once.Rotate(0.2f);
    twice.Rotate(0.1f);
    twice.Rotate(0.1f);
    EXPECT_EQ(corners(once), corners(twice));

    // A move is undone by the next turn; a new position keeps the angle turned so far.
    twice.Move(10, 0);
    EXPECT_EQ(twice.GetCentre().x, 50) << "moving leaves the centre";
    twice.Rotate(0);
    EXPECT_EQ(corners(twice), corners(once));
    twice.SetPosition(0, 0, 40, 20);
    EXPECT_EQ(corners(twice), (Corners{{0, 0}, {40, 0}, {0, 20}, {40, 20}}));
    twice.Rotate(0);
    cls2dPicture fresh;
    fresh.SetPosition(0, 0, 40, 20);
    fresh.Rotate(0.2f);
    EXPECT_EQ(corners(twice), corners(fresh));
}

TEST(Picture, ColourAndOpacityReachEveryVertex) {
    cls2dPicture p;
    p.SetTransparency(255);
    for (const ScreenVertex& v : p.Vertices())
        EXPECT_EQ(v.color, 0x00FFFFFFu);
    p.SetBackcolor(255, 0, 0);
    EXPECT_EQ(p.Vertices()[3].color, 0x00FF0000u) << "the opacity is kept";
    p.SetTransparency(55);
    EXPECT_EQ(p.Vertices()[0].color, 0xC8FF0000u) << "the colour is kept";
}

class PictureRender : public EngineTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bring_up());
        WriteBytes(dir.path() / "k.bmp", EncodeBmp(2, 2, 3, std::vector<std::uint8_t>(12, 200)));
        ASSERT_TRUE(
            keyed.LoadFromFile((dir.path() / "k.bmp").string(), mdlMain::ColorRGB(255, 0, 255), 1, false));
        ASSERT_TRUE(plain.LoadForEdit(2, 2));
        ASSERT_TRUE(plain.EditStart()); // an edited alpha alone does not make a picture blend
        plain.Edit({0, 0}, 0, -1, -1, -1);
        plain.EditEnd();
        picture.SetPosition(10, 10, 50, 30);
    }

    TempDir dir;
    cls2dTexture keyed, plain;
    cls2dPicture picture;
};

TEST_F(PictureRender, BlendsWithTheAlphaItHasAndDrawsOneStrip) {
    constexpr double on = 0xFFFFFFFFu;
    struct Case {
        int transparency;
        bool key, blends;
        gfx::Dword op;
    };
    for (const Case c :
         {Case{0, false, false, 0}, Case{0, true, true, gfx::TopSelectArg2},
          Case{100, true, true, gfx::TopModulate}, Case{100, false, true, gfx::TopSelectArg1}}) {
        SCOPED_TRACE(testing::Message() << c.transparency << (c.key ? " keyed" : " plain"));
        picture.SetTransparency(static_cast<std::uint8_t>(c.transparency));
        const std::size_t mark = log().Mark();
        picture.Render(c.key ? &keyed : &plain);
        const gfx::CallLog calls = log().Since(mark);
        EXPECT_EQ(calls.CountWith("SetRenderState", {gfx::rs::AlphaBlendEnable, on}), c.blends ? 1u : 0u);
        EXPECT_EQ(calls.CountWith("SetTextureStageState", {0, gfx::tss::AlphaOp, double(c.op)}),
                  c.blends ? 1u : 0u);
        EXPECT_EQ(render_state(gfx::rs::AlphaBlendEnable), 0u) << "switched off after drawing";
        EXPECT_EQ(state().texture, (c.key ? keyed : plain).GetTexture());
        const gfx::Call* draw = calls.Last("DrawPrimitiveUP");
        ASSERT_NE(draw, nullptr);
        EXPECT_EQ(draw->args, (std::vector<double>{gfx::PtTriangleStrip, 2, sizeof(ScreenVertex)}));
        EXPECT_EQ(std::memcmp(draw->data.data(), picture.Vertices().data(), 4 * sizeof(ScreenVertex)), 0);
    }
}

TEST_F(PictureRender, WithoutATextureObjectNothingHappens) {
    const std::size_t mark = log().Mark();
    picture.Render(nullptr);
    EXPECT_TRUE(log().Since(mark).Calls().empty());
    cls2dTexture empty;
    picture.Render(&empty);
    EXPECT_EQ(log().Since(mark).Count("DrawPrimitiveUP"), 1u) << "drawn untextured";
    EXPECT_EQ(state().texture, nullptr);
}

} // namespace
} // namespace kl::test
