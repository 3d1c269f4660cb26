// Textures from image files on the current engine's device.
#include "engine/mdl_main.h"
#include "support/engine_fixture.h"
#include "support/image_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace kl {
namespace {

class TextureFromFileTest : public test::EngineTest {
  protected:
    std::string bmp() {
        const auto path = dir.path() / "Tex.bmp";
        test::WriteBytes(path, test::EncodeBmp(4, 2, 3, std::vector<std::uint8_t>(4 * 2 * 3, 200)));
        return path.string();
    }
    static gfx::SurfaceDesc level0(const gfx::TexturePtr& t) {
        gfx::SurfaceDesc d;
        EXPECT_EQ(t->GetLevelDesc(0, &d), gfx::Status::Ok);
        return d;
    }
    test::TempDir dir;
};

TEST_F(TextureFromFileTest, GivesNothingWithoutADeviceOrAReadableFile) {
    const std::string file = bmp();
    EXPECT_EQ(mdlMain::TextureFromFile(file, 0, 0, false), nullptr) << "no device yet";
    ASSERT_TRUE(bring_up());
    EXPECT_EQ(mdlMain::TextureFromFile((dir.path() / "none.bmp").string(), 0, 0, false), nullptr);
    test::WriteBytes(dir.path() / "bad.bmp", {'B', 'M', 1, 2, 3});
    EXPECT_EQ(mdlMain::TextureFromFile((dir.path() / "bad.bmp").string(), 0, 0, false), nullptr);
}

TEST_F(TextureFromFileTest, FormatAndLevelsFollowTheArguments) {
    ASSERT_TRUE(bring_up());
    const std::string file = bmp();
    const gfx::TexturePtr plain = mdlMain::TextureFromFile(file, 0, 0, false);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->GetLevelCount(), 3u) << "4x2, 2x1, 1x1";
    EXPECT_EQ(level0(plain).Format, gfx::FmtR5G6B5);
    EXPECT_EQ(level0(plain).Pool, gfx::PoolManaged);
    EXPECT_EQ(level0(plain).Width, 4u);

    const gfx::TexturePtr keyed = mdlMain::TextureFromFile(file, 0xFF000000u, 1, false);
    ASSERT_NE(keyed, nullptr);
    EXPECT_EQ(keyed->GetLevelCount(), 1u);
    EXPECT_EQ(level0(keyed).Format, gfx::FmtA1R5G5B5);

    const gfx::TexturePtr editable = mdlMain::TextureFromFile(file, 0xFF000000u, 1, true);
    ASSERT_NE(editable, nullptr);
    EXPECT_EQ(level0(editable).Format, gfx::FmtA8R8G8B8);
}

} // namespace
} // namespace kl
