// Screen pictures: corners and centre, turning about the centre from the shape last placed, colour
// and opacity, and the blending each combination of picture and texture asks the device for.
#include "engine/fault.h"
#include "engine/mdl_main.h"
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

constexpr gfx::Dword kOn = 0xFFFFFFFFu;

std::vector<std::pair<float, float>> corners(const cls2dPicture& p) {
    std::vector<std::pair<float, float>> out;
    for (const ScreenVertex& v : p.Vertices())
        out.emplace_back(v.x, v.y);
    return out;
}

using Corners = std::vector<std::pair<float, float>>;

TEST(Picture, StartsWhiteAndOpaqueOverTheWholeTexture) {
    cls2dPicture p;
    const float uv[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (std::size_t i = 0; i < 4; ++i) {
        const ScreenVertex& v = p.Vertices()[i];
        EXPECT_EQ(v.color, 0xFFFFFFFFu);
        EXPECT_EQ(v.rhw, 1.0f);
        EXPECT_EQ(v.tu, uv[i][0]);
        EXPECT_EQ(v.tv, uv[i][1]);
    }
    p.SetPictureRange(0.25f, 0.5f, 0.75f, 1);
    EXPECT_EQ(p.Vertices()[1].tu, 0.75f);
    EXPECT_EQ(p.Vertices()[1].tv, 0.5f);
    EXPECT_EQ(p.Vertices()[2].tu, 0.25f);
    EXPECT_EQ(p.Vertices()[2].tv, 1.0f);
}

TEST(Picture, PositionGivesCornersAndCentre) {
    cls2dPicture p;
    p.SetPosition(100, 50, 300, 150);
    EXPECT_EQ(corners(p), (Corners{{100, 50}, {300, 50}, {100, 150}, {300, 150}}));
    EXPECT_EQ(p.GetCentre().x, 200);
    EXPECT_EQ(p.GetCentre().y, 100);
    p.SetPosition(0, 0, 3, 3);
    EXPECT_EQ(p.GetCentre().x, 1.5f) << "the centre is not rounded";
    EXPECT_EQ(p.GetCentre().y, 1.5f);
}

TEST(Picture, ACentreOutside32BitsIsAnOverflow) {
    cls2dPicture p;
    p.SetPosition(0, 0, 10, 10);
    constexpr std::int32_t big = std::numeric_limits<std::int32_t>::max();
    EXPECT_THROW(p.SetPosition(big, 0, 1, 10), Fault);
    EXPECT_EQ(p.Vertices()[1].x, 1.0f) << "the vertices are set before the sum";
    EXPECT_EQ(p.GetCentre().x, 5.0f) << "the centre is not";
    EXPECT_THROW(p.SetPosition(0, std::numeric_limits<std::int32_t>::min(), 10, -1), Fault);
    EXPECT_NO_THROW(p.SetPosition(big, -big, 0, 0));
}

TEST(Picture, TurnsClockwiseOnScreenAboutItsCentre) {
    cls2dPicture p;
    p.SetPosition(100, 50, 300, 150);
    p.Rotate(std::numbers::pi_v<float> / 2);
    const Corners expected{{250, 0}, {250, 200}, {150, 0}, {150, 200}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(corners(p)[i].first, expected[i].first, 1e-3) << i;
        EXPECT_NEAR(corners(p)[i].second, expected[i].second, 1e-3) << i;
    }
    EXPECT_EQ(p.GetCentre().x, 200) << "turning keeps the centre";
}

TEST(Picture, TurningAlwaysStartsFromThePlacedShape) {
    cls2dPicture once, twice;
    once.SetPosition(10, 20, 90, 60);
    twice.SetPosition(10, 20, 90, 60);
    once.Rotate(0.2f);
    twice.Rotate(0.1f);
    twice.Rotate(0.1f);
    EXPECT_EQ(corners(once), corners(twice));

    cls2dPicture moved;
    moved.SetPosition(10, 20, 90, 60);
    moved.Move(10, 0);
    EXPECT_EQ(corners(moved)[0], (std::pair{20.0f, 20.0f}));
    EXPECT_EQ(moved.GetCentre().x, 50) << "moving leaves the centre";
    moved.Rotate(0);
    EXPECT_EQ(corners(moved), (Corners{{10, 20}, {90, 20}, {10, 60}, {90, 60}})) << "the move is undone";

    // A new position keeps the angle turned so far without applying it.
    twice.SetPosition(0, 0, 40, 20);
    EXPECT_EQ(corners(twice), (Corners{{0, 0}, {40, 0}, {0, 20}, {40, 20}}));
    twice.Rotate(0);
    cls2dPicture fresh;
    fresh.SetPosition(0, 0, 40, 20);
    fresh.Rotate(0.2f);
    EXPECT_EQ(corners(twice), corners(fresh)) << "turned by the kept 0.2";
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
        ASSERT_TRUE(keyed.LoadFromFile((dir.path() / "k.bmp").string(), mdlMain::ColorRGB(255, 0, 255), 1,
                                       false));
        ASSERT_TRUE(plain.LoadForEdit(2, 2));
        picture.SetPosition(10, 10, 50, 30);
    }

    TempDir dir;
    cls2dTexture keyed, plain;
    cls2dPicture picture;
};

TEST_F(PictureRender, BlendsWithTheAlphaItHas) {
    struct Case {
        std::uint8_t transparency;
        bool key;
        bool blends;
        gfx::Dword op;
    };
    for (const Case c : {Case{0, false, false, 0}, Case{0, true, true, gfx::TopSelectArg2},
                         Case{100, true, true, gfx::TopModulate}, Case{100, false, true, gfx::TopSelectArg1}}) {
        picture.SetTransparency(c.transparency);
        const std::size_t mark = log().Mark();
        picture.Render(c.key ? &keyed : &plain);
        const gfx::CallLog calls = log().Since(mark);
        SCOPED_TRACE(testing::Message() << int{c.transparency} << (c.key ? " keyed" : " plain"));
        EXPECT_EQ(calls.CountWith("SetRenderState", {gfx::rs::AlphaBlendEnable, double(kOn)}), c.blends ? 1u : 0u);
        EXPECT_EQ(calls.CountWith("SetTextureStageState", {0, gfx::tss::AlphaOp}), c.blends ? 1u : 0u);
        if (c.blends) {
            EXPECT_EQ(stage_state(gfx::tss::AlphaOp), c.op);
        }
        EXPECT_EQ(render_state(gfx::rs::AlphaBlendEnable), 0u) << "switched off after drawing";
        EXPECT_EQ(state().fvf, kFvfScreenVertex);
    }
}

TEST_F(PictureRender, DrawsOneStripOfItsFourVertices) {
    picture.Rotate(0.3f);
    const std::size_t mark = log().Mark();
    picture.Render(&plain);
    const gfx::CallLog calls = log().Since(mark);
    const gfx::Call* draw = calls.Last("DrawPrimitiveUP");
    ASSERT_NE(draw, nullptr);
    EXPECT_EQ(draw->args, (std::vector<double>{gfx::PtTriangleStrip, 2, sizeof(ScreenVertex)}));
    const auto drawn = draw->DataAs<ScreenVertex>();
    ASSERT_EQ(drawn.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(std::memcmp(&drawn[i], &picture.Vertices()[i], sizeof(ScreenVertex)), 0) << i;
    EXPECT_EQ(state().texture, plain.GetTexture());
}

TEST_F(PictureRender, AnEditedAlphaAloneDoesNotBlend) {
    ASSERT_TRUE(plain.EditStart());
    plain.Edit({0, 0}, 0, -1, -1, -1);
    plain.EditEnd();
    ASSERT_TRUE(plain.GetAlphaEdited());
    const std::size_t mark = log().Mark();
    picture.Render(&plain);
    EXPECT_EQ(log().Since(mark).CountWith("SetRenderState", {gfx::rs::AlphaBlendEnable, double(kOn)}), 0u);
}

TEST_F(PictureRender, WithoutATextureObjectNothingHappens) {
    picture.SetTransparency(100);
    const std::size_t mark = log().Mark();
    picture.Render(nullptr);
    EXPECT_TRUE(log().Since(mark).Calls().empty());

    // A texture object without a texture draws untextured.
    cls2dTexture empty;
    picture.Render(&empty);
    EXPECT_EQ(log().Since(mark).Count("DrawPrimitiveUP"), 1u);
    EXPECT_EQ(state().texture, nullptr);
}

} // namespace
} // namespace kl::test
