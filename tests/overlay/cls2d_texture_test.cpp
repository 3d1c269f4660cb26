// Editable textures on the recording device: when editing is allowed, how Edit lays out its bytes
// and where it stops, and every level kept across a device reset.
#include "engine/mdl_main.h"
#include "overlay/cls2d_texture.h"
#include "support/engine_fixture.h"
#include "support/image_files.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace kl::test {
namespace {

std::vector<std::uint8_t> level_bytes(const gfx::TexturePtr& t, gfx::Dword level) {
    gfx::SurfaceDesc d;
    gfx::LockedRect lr;
    if (!t || platform::Failed(t->GetLevelDesc(level, &d)) ||
        platform::Failed(t->LockRect(level, &lr, nullptr, gfx::LockReadOnly)))
        return {};
    std::vector<std::uint8_t> bytes(static_cast<const std::uint8_t*>(lr.pBits),
                                    static_cast<const std::uint8_t*>(lr.pBits) + d.Size);
    t->UnlockRect(level);
    return bytes;
}

std::vector<std::vector<std::uint8_t>> all_levels(const gfx::TexturePtr& t) {
    std::vector<std::vector<std::uint8_t>> out;
    for (gfx::Dword i = 0; t && i < t->GetLevelCount(); ++i)
        out.push_back(level_bytes(t, i));
    return out;
}

class Texture2d : public EngineTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bring_up());
        std::vector<std::uint8_t> rgb;
        for (int i = 0; i < 8 * 4; ++i)
            rgb.insert(rgb.end(),
                       {static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i * 5), 9});
        WriteBytes(dir.path() / "pattern.bmp", EncodeBmp(8, 4, 3, rgb));
        file = (dir.path() / "pattern.bmp").string();
    }
    // Blue, green, red, alpha of one pixel of level 0 in a texture w pixels wide.
    static std::array<int, 4> pixel(const cls2dTexture& t, int w, int x, int y) {
        const std::vector<std::uint8_t> b = level_bytes(t.GetTexture(), 0);
        const std::size_t at = static_cast<std::size_t>((y * w + x) * 4);
        return {b[at], b[at + 1], b[at + 2], b[at + 3]};
    }

    TempDir dir;
    std::string file;
    const std::string missing = (dir.path() / "missing.bmp").string();
};

TEST_F(Texture2d, OnlyASingleLevel32BitTextureCanBeEdited) {
    cls2dTexture t;
    ASSERT_EQ(engine.RegisteredObjects().at(0).pObjType, ObjTypeTexture);
    ASSERT_TRUE(t.LoadFromFile(file, 0, 0, true));
    EXPECT_FALSE(t.EditStart()) << "a full mip chain";
    ASSERT_TRUE(t.LoadFromFile(file, 0, 1, false));
    EXPECT_FALSE(t.EditStart()) << "16-bit";
    ASSERT_TRUE(t.LoadFromFile(file, 0, 1, true));
    EXPECT_TRUE(t.EditStart());
    EXPECT_FALSE(t.EditStart()) << "already editing";
    t.EditEnd();
    EXPECT_TRUE(t.EditStart());
    ASSERT_TRUE(t.LoadForEdit(5, 3));
    EXPECT_FALSE(t.Editing()) << "a new load ends the edit";
    EXPECT_TRUE(t.EditStart());

    cls2dTexture refused;
    EXPECT_FALSE(refused.EditStart()) << "nothing loaded";
    ASSERT_TRUE(refused.LoadForEdit(4, 4));
    control().lock_result = gfx::Status::InvalidCall;
    EXPECT_FALSE(refused.EditStart());
    EXPECT_FALSE(refused.Editing());
}

TEST_F(Texture2d, LoadingRecordsTheKeyAndAFailedLoadKeepsTheFlags) {
    cls2dTexture t;
    const PackedColor key = mdlMain::ColorRGB(255, 0, 255);
    ASSERT_TRUE(t.LoadForEdit(4, 4));
    ASSERT_TRUE(t.EditStart());
    t.Edit({1, 1}, 10, -1, -1, -1);
    EXPECT_TRUE(t.GetAlphaEdited()) << "alpha alone was written";
    ASSERT_TRUE(t.LoadFromFile(file, key, 1, false));
    EXPECT_EQ(t.GetColorKey(), key);
    EXPECT_FALSE(t.GetAlphaEdited());
    EXPECT_FALSE(t.LoadFromFile(missing, 0, 1, true));
    EXPECT_EQ(t.GetTexture(), nullptr);
    EXPECT_EQ(t.GetColorKey(), key);
    EXPECT_FALSE(t.LoadForEdit(0, 4));
    EXPECT_FALSE(t.LoadForEdit(4, -1));
}

TEST_F(Texture2d, EditWritesBlueGreenRedAlphaAndStopsAtABadChannel) {
    cls2dTexture t;
    ASSERT_TRUE(t.LoadForEdit(4, 3));
    ASSERT_TRUE(t.EditStart());
    t.Edit({2, 2}, -1, 255, 0, 0);
    t.Edit({3, 0}, 7, 7, 300, 9); // green out of range: only blue is written
    t.Edit({0, 1}, 5, -2, 6, 7);  // red out of range: blue and green are written
    EXPECT_FALSE(t.GetAlphaEdited());
    t.Edit({1, 2}, 40, 30, 20, 10);
    t.Edit({3, 2}, 4, 3, 2, 1);
    t.EditEnd();
    t.Edit({0, 0}, 1, 2, 3, 4); // not editing any more
    EXPECT_EQ(pixel(t, 4, 2, 2), (std::array{0, 0, 255, 0}));
    EXPECT_EQ(pixel(t, 4, 3, 0), (std::array{9, 0, 0, 0}));
    EXPECT_EQ(pixel(t, 4, 0, 1), (std::array{7, 6, 0, 0}));
    EXPECT_EQ(pixel(t, 4, 1, 2), (std::array{10, 20, 30, 40}));
    EXPECT_EQ(pixel(t, 4, 3, 2), (std::array{1, 2, 3, 4})) << "the last pixel";
    EXPECT_EQ(pixel(t, 4, 0, 0), (std::array{0, 0, 0, 0}));
}

TEST_F(Texture2d, EditStaysInsideAndRoundsFractionalAddressesHalfToEven) {
    cls2dTexture t;
    ASSERT_TRUE(t.LoadForEdit(4, 3));
    ASSERT_TRUE(t.EditStart());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (Vec2 outside : {Vec2{4, 0}, Vec2{0, 3}, Vec2{-0.5f, 0}, Vec2{0, -1}, Vec2{nan, 0},
                         // Inside, but its four bytes would reach past the end of the level.
                         Vec2{3.75f, 2}})
        t.Edit(outside, 1, 1, 1, 1);
    t.Edit({0.125f, 0}, -1, -1, -1, 11); // byte 0.5 -> 0
    t.Edit({0.375f, 1}, -1, -1, -1, 22); // byte 16 + 1.5 -> 18
    t.Edit({0.625f, 2}, -1, -1, -1, 33); // byte 32 + 2.5 -> 34
    t.EditEnd();
    std::vector<std::uint8_t> expected(4 * 3 * 4, 0);
    expected[0] = 11, expected[18] = 22, expected[34] = 33;
    EXPECT_EQ(level_bytes(t.GetTexture(), 0), expected);
}

TEST_F(Texture2d, AResetKeepsEveryLevelAndTheEdits) {
    cls2dTexture chain, edited;
    ASSERT_TRUE(chain.LoadFromFile(file, mdlMain::ColorRGB(255, 0, 255), 0, true));
    for (gfx::Dword i = 0; i < chain.GetTexture()->GetLevelCount(); ++i) {
        gfx::LockedRect lr; // a mark in every level that no file holds
        ASSERT_EQ(chain.GetTexture()->LockRect(i, &lr, nullptr, 0), gfx::Status::Ok);
        static_cast<std::uint8_t*>(lr.pBits)[0] = static_cast<std::uint8_t>(0xA0 + i);
        chain.GetTexture()->UnlockRect(i);
    }
    ASSERT_TRUE(edited.LoadForEdit(6, 5));
    ASSERT_TRUE(edited.EditStart()); // left editing: the reset ends it
    edited.Edit({3, 3}, 200, 120, 135, 17);
    const auto chain_before = all_levels(chain.GetTexture());
    const gfx::TexturePtr old_chain = chain.GetTexture();
    ASSERT_EQ(chain_before.size(), 4u);

    const DisplayMode mode{800, 600, FmtX8R8G8B8};
    const std::size_t mark = log().Mark();
    ASSERT_TRUE(engine.SetRes(&mode, 0, false));
    EXPECT_NE(chain.GetTexture(), old_chain) << "made again";
    EXPECT_EQ(all_levels(chain.GetTexture()), chain_before);
    EXPECT_FALSE(edited.Editing());
    EXPECT_EQ(pixel(edited, 6, 3, 3), (std::array{17, 135, 120, 200}));
    EXPECT_TRUE(edited.GetAlphaEdited());
    EXPECT_EQ(chain.GetColorKey(), mdlMain::ColorRGB(255, 0, 255));
    const auto created = log().Since(mark).Find("CreateTexture");
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[0].args, (std::vector<double>{8, 4, 0, 0, gfx::FmtA8R8G8B8, gfx::PoolManaged}));
    EXPECT_EQ(created[1].args, (std::vector<double>{6, 5, 1, 0, gfx::FmtA8R8G8B8, gfx::PoolManaged}));
}

TEST_F(Texture2d, StoringTwiceKeepsTheFirstCopiesAndAFailedLoadStaysGone) {
    cls2dTexture t;
    ASSERT_TRUE(t.LoadForEdit(3, 3));
    ASSERT_TRUE(t.EditStart());
    t.Edit({1, 1}, 1, 2, 3, 4);
    t.EditEnd();
    const auto before = all_levels(t.GetTexture());
    // A reset that failed half way stores everything again before the next attempt.
    t.StoreData();
    t.Cleanup();
    t.StoreData();
    t.ReStoreData();
    EXPECT_EQ(all_levels(t.GetTexture()), before);

    EXPECT_FALSE(t.LoadFromFile(missing, 0, 1, true));
    const DisplayMode mode{800, 600, FmtX8R8G8B8};
    ASSERT_TRUE(engine.SetRes(&mode, 0, false));
    EXPECT_EQ(t.GetTexture(), nullptr) << "no earlier image comes back";
}

} // namespace
} // namespace kl::test
