// Editable textures on the recording back-end: when editing is allowed, how Edit lays out its bytes
// and where it stops, and every level kept across a device reset.
#include "engine/mdl_main.h"
#include "overlay/cls2d_texture.h"
#include "support/engine_fixture.h"
#include "support/image_files.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace kl::test {
namespace {

using gfx::Status;

// Every byte of one level, read through a lock.
std::vector<std::uint8_t> level_bytes(const gfx::TexturePtr& t, gfx::Dword level) {
    gfx::SurfaceDesc d;
    gfx::LockedRect lr;
    if (!t || platform::Failed(t->GetLevelDesc(level, &d)) ||
        platform::Failed(t->LockRect(level, &lr, nullptr, gfx::LockReadOnly)))
        return {};
    std::vector<std::uint8_t> bytes(d.Size);
    std::memcpy(bytes.data(), lr.pBits, d.Size);
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
        // 8 x 4 pixels of varied colours, one of them pure magenta for the colour key.
        std::vector<std::uint8_t> rgb;
        for (int i = 0; i < 8 * 4; ++i)
            rgb.insert(rgb.end(), {static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i * 5),
                                   static_cast<std::uint8_t>(i * 3)});
        rgb[0] = 255, rgb[1] = 0, rgb[2] = 255;
        WriteBytes(dir.path() / "pattern.bmp", EncodeBmp(8, 4, 3, rgb));
        file = (dir.path() / "pattern.bmp").string();
    }

    // The four bytes of one pixel of level 0, in memory order (blue, green, red, alpha).
    std::array<int, 4> pixel(const cls2dTexture& t, int x, int y) {
        const std::vector<std::uint8_t> b = level_bytes(t.GetTexture(), 0);
        gfx::SurfaceDesc d;
        t.GetTexture()->GetLevelDesc(0, &d);
        const std::size_t at = (static_cast<std::size_t>(y) * d.Width + static_cast<std::size_t>(x)) * 4;
        return {b[at], b[at + 1], b[at + 2], b[at + 3]};
    }

    TempDir dir;
    std::string file;
};

TEST_F(Texture2d, RegistersAsATextureForItsLifetime) {
    {
        cls2dTexture t;
        ASSERT_EQ(engine.RegisteredObjects().size(), 1u);
        EXPECT_EQ(engine.RegisteredObjects()[0].pObj, &t);
        EXPECT_EQ(engine.RegisteredObjects()[0].pObjType, ObjTypeTexture);
    }
    EXPECT_TRUE(engine.RegisteredObjects().empty());
}

TEST_F(Texture2d, OnlyASingleLevel32BitTextureCanBeEdited) {
    cls2dTexture t;
    ASSERT_TRUE(t.LoadFromFile(file, 0, 0, true));
    EXPECT_GT(t.GetTexture()->GetLevelCount(), 1u);
    EXPECT_FALSE(t.EditStart()) << "a full mip chain";
    ASSERT_TRUE(t.LoadFromFile(file, 0, 1, false));
    EXPECT_FALSE(t.EditStart()) << "16-bit without a key";
    ASSERT_TRUE(t.LoadFromFile(file, mdlMain::ColorRGB(255, 0, 255), 1, false));
    EXPECT_FALSE(t.EditStart()) << "16-bit with a key";

    ASSERT_TRUE(t.LoadFromFile(file, 0, 1, true));
    EXPECT_TRUE(t.EditStart());
    EXPECT_FALSE(t.EditStart()) << "already editing";
    t.EditEnd();
    EXPECT_TRUE(t.EditStart());
    // Loading again ends the edit on the old texture.
    ASSERT_TRUE(t.LoadForEdit(5, 3));
    EXPECT_FALSE(t.Editing());
    EXPECT_TRUE(t.EditStart());

    cls2dTexture never_loaded;
    EXPECT_FALSE(never_loaded.EditStart());
    control().lock_result = Status::InvalidCall;
    cls2dTexture refused;
    ASSERT_TRUE(refused.LoadForEdit(4, 4));
    EXPECT_FALSE(refused.EditStart());
    EXPECT_FALSE(refused.Editing());
}

TEST_F(Texture2d, LoadingRecordsKeyAndClearsTheAlphaFlag) {
    cls2dTexture t;
    const PackedColor key = mdlMain::ColorRGB(255, 0, 255);
    ASSERT_TRUE(t.LoadForEdit(4, 4));
    ASSERT_TRUE(t.EditStart());
    t.Edit({1, 1}, 10, -1, -1, -1);
    ASSERT_TRUE(t.GetAlphaEdited());
    ASSERT_TRUE(t.LoadFromFile(file, key, 1, false));
    EXPECT_EQ(t.GetColorKey(), key);
    EXPECT_FALSE(t.GetAlphaEdited());

    // A failed load leaves no texture and the flags as they were.
    EXPECT_FALSE(t.LoadFromFile((dir.path() / "missing.bmp").string(), 0, 1, true));
    EXPECT_EQ(t.GetTexture(), nullptr);
    EXPECT_EQ(t.GetColorKey(), key);
    EXPECT_FALSE(t.LoadForEdit(0, 4));
    EXPECT_FALSE(t.LoadForEdit(4, -1));
    ASSERT_TRUE(t.LoadForEdit(4, 4));
    EXPECT_EQ(t.GetColorKey(), 0u);
}

TEST_F(Texture2d, EditWritesBlueGreenRedAlphaAndStopsAtABadChannel) {
    cls2dTexture t;
    ASSERT_TRUE(t.LoadForEdit(4, 3));
    ASSERT_TRUE(t.EditStart());
    t.Edit({2, 2}, -1, 255, 0, 0);
    t.Edit({3, 0}, 7, 7, 300, 9); // green out of range: only blue is written
    t.Edit({0, 1}, 5, -2, 6, 7);  // red out of range: blue and green are written
    EXPECT_FALSE(t.GetAlphaEdited()) << "no alpha reached the texture yet";
    t.Edit({1, 2}, 40, 30, 20, 10);
    EXPECT_TRUE(t.GetAlphaEdited());
    t.EditEnd();
    EXPECT_EQ(pixel(t, 1, 2), (std::array{10, 20, 30, 40}));
    EXPECT_EQ(pixel(t, 2, 2), (std::array{0, 0, 255, 0}));
    EXPECT_EQ(pixel(t, 3, 0), (std::array{9, 0, 0, 0}));
    EXPECT_EQ(pixel(t, 0, 1), (std::array{7, 6, 0, 0}));

    ASSERT_TRUE(t.EditStart());
    t.Edit({2, 2}, 128, -1, -1, -1);
    t.EditEnd();
    EXPECT_EQ(pixel(t, 2, 2), (std::array{0, 0, 255, 128}));

    // Outside editing nothing is written.
    t.Edit({0, 0}, 1, 2, 3, 4);
    EXPECT_EQ(pixel(t, 0, 0), (std::array{0, 0, 0, 0}));
}

TEST_F(Texture2d, EditStaysInsideTheTexture) {
    cls2dTexture t;
    ASSERT_TRUE(t.LoadForEdit(4, 3));
    ASSERT_TRUE(t.EditStart());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (Vec2 outside : {Vec2{4, 0}, Vec2{0, 3}, Vec2{-0.5f, 0}, Vec2{0, -1}, Vec2{nan, 0}, Vec2{1, nan},
                         // The fractional last pixel would reach three bytes past the level.
                         Vec2{3.75f, 2}})
        t.Edit(outside, 1, 1, 1, 1);
    t.EditEnd();
    EXPECT_EQ(level_bytes(t.GetTexture(), 0), std::vector<std::uint8_t>(4 * 3 * 4, 0));

    ASSERT_TRUE(t.EditStart());
    t.Edit({3, 2}, 4, 3, 2, 1);
    t.EditEnd();
    EXPECT_EQ(pixel(t, 3, 2), (std::array{1, 2, 3, 4})) << "the last pixel";
}

TEST_F(Texture2d, FractionalPositionsRoundTheByteAddressHalfToEven) {
    cls2dTexture t;
    ASSERT_TRUE(t.LoadForEdit(4, 3));
    ASSERT_TRUE(t.EditStart());
    t.Edit({0.125f, 0}, -1, -1, -1, 11); // byte 0.5 -> 0
    t.Edit({0.375f, 1}, -1, -1, -1, 22); // byte 16 + 1.5 -> 18
    t.Edit({0.625f, 2}, -1, -1, -1, 33); // byte 32 + 2.5 -> 34
    t.EditEnd();
    const std::vector<std::uint8_t> b = level_bytes(t.GetTexture(), 0);
    EXPECT_EQ(b[0], 11);
    EXPECT_EQ(b[18], 22);
    EXPECT_EQ(b[34], 33);
    EXPECT_EQ(std::count(b.begin(), b.end(), 0), static_cast<long>(b.size()) - 3);
}

TEST_F(Texture2d, AResetKeepsEveryLevelAndTheEdits) {
    cls2dTexture chain, edited;
    ASSERT_TRUE(chain.LoadFromFile(file, mdlMain::ColorRGB(255, 0, 255), 0, true));
    // Marks in every level that no file holds.
    for (gfx::Dword i = 0; i < chain.GetTexture()->GetLevelCount(); ++i) {
        gfx::LockedRect lr;
        ASSERT_EQ(chain.GetTexture()->LockRect(i, &lr, nullptr, 0), Status::Ok);
        static_cast<std::uint8_t*>(lr.pBits)[0] = static_cast<std::uint8_t>(0xA0 + i);
        chain.GetTexture()->UnlockRect(i);
    }
    ASSERT_TRUE(edited.LoadForEdit(6, 5));
    ASSERT_TRUE(edited.EditStart());
    for (int i = 0; i < 5; ++i)
        edited.Edit({static_cast<float>(i), static_cast<float>(i)}, 200, i * 40, 255 - i * 40, 17);
    // Left in editing: the reset ends it.
    const auto chain_before = all_levels(chain.GetTexture());
    const gfx::TexturePtr old_chain = chain.GetTexture();
    ASSERT_EQ(chain_before.size(), 4u);

    const DisplayMode mode{800, 600, FmtX8R8G8B8};
    const std::size_t mark = log().Mark();
    ASSERT_TRUE(engine.SetRes(&mode, 0, false));
    ASSERT_EQ(device().ResetCount(), 1);

    EXPECT_NE(chain.GetTexture(), old_chain) << "a texture made again";
    EXPECT_EQ(all_levels(chain.GetTexture()), chain_before);
    EXPECT_FALSE(edited.Editing());
    EXPECT_EQ(pixel(edited, 3, 3), (std::array{17, 255 - 120, 120, 200}));
    EXPECT_TRUE(edited.GetAlphaEdited());
    EXPECT_EQ(chain.GetColorKey(), mdlMain::ColorRGB(255, 0, 255));
    // Made again with the recorded size, format and level setting, in managed memory.
    const auto created = log().Since(mark).Find("CreateTexture");
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[0].args, (std::vector<double>{8, 4, 0, 0, gfx::FmtA8R8G8B8, gfx::PoolManaged}));
    EXPECT_EQ(created[1].args, (std::vector<double>{6, 5, 1, 0, gfx::FmtA8R8G8B8, gfx::PoolManaged}));
    EXPECT_TRUE(edited.EditStart());
}

TEST_F(Texture2d, StoringTwiceKeepsTheFirstCopies) {
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
    t.Cleanup();
    t.ReStoreData();
    EXPECT_EQ(all_levels(t.GetTexture()), before);
}

TEST_F(Texture2d, ATextureThatFailedToLoadStaysAbsentAfterAReset) {
    cls2dTexture t;
    ASSERT_TRUE(t.LoadForEdit(3, 3));
    const DisplayMode mode{800, 600, FmtX8R8G8B8};
    ASSERT_TRUE(engine.SetRes(&mode, 0, false));
    ASSERT_NE(t.GetTexture(), nullptr);
    EXPECT_FALSE(t.LoadFromFile((dir.path() / "missing.bmp").string(), 0, 1, true));
    ASSERT_TRUE(engine.SetRes(&mode, 0, false));
    EXPECT_EQ(t.GetTexture(), nullptr);
}

} // namespace
} // namespace kl::test
