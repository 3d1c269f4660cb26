// Textures from image files: formats, colour key, mip chain, file lookup, and every way a file or
// the device can fail.
#include "platform/d3dx/texture_from_file.h"
#include "platform/gfx/recording/recording_system.h"
#include "support/image_files.h"
#include "support/temp_dir.h"

#include <cstring>
#include <gtest/gtest.h>

namespace kl::d3dx {
namespace {

using gfx::Status;

class TextureFile : public ::testing::Test {
  protected:
    void SetUp() override {
        gfx::PresentParameters p;
        p.BackBufferWidth = p.BackBufferHeight = 64;
        p.EnableAutoDepthStencil = true;
        ASSERT_EQ(sys.CreateDevice(0, gfx::DevTypeHal, nullptr, 0, &p, &device), Status::Ok);
    }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        test::WriteBytes(dir.path() / name, bytes);
        return (dir.path() / name).string();
    }

    // Reads level `level` of a texture back through a lock.
    std::vector<std::uint8_t> level_bytes(const gfx::TexturePtr& t, gfx::Dword level) {
        gfx::SurfaceDesc d;
        gfx::LockedRect lr;
        EXPECT_EQ(t->GetLevelDesc(level, &d), Status::Ok);
        EXPECT_EQ(t->LockRect(level, &lr, nullptr, gfx::LockReadOnly), Status::Ok);
        std::vector<std::uint8_t> bytes(d.Size);
        std::memcpy(bytes.data(), lr.pBits, d.Size);
        t->UnlockRect(level);
        return bytes;
    }

    test::TempDir dir;
    gfx::RecordingSystem sys;
    gfx::DevicePtr device;
};

std::uint16_t u16(const std::vector<std::uint8_t>& b, std::size_t pixel) {
    return static_cast<std::uint16_t>(b[pixel * 2] | b[pixel * 2 + 1] << 8);
}

TEST_F(TextureFile, FormatFollowsEditAndColourKey) {
    // magenta, (10, 20, 30)
    const auto file = write("two.bmp", test::EncodeBmp(2, 1, 3, {255, 0, 255, 10, 20, 30}));
    gfx::TexturePtr t;

    ASSERT_EQ(TextureFromFile(*device, file, 0, 1, true, &t), Status::Ok);
    gfx::SurfaceDesc d;
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Format, gfx::FmtA8R8G8B8);
    EXPECT_EQ(d.Pool, gfx::PoolManaged);
    EXPECT_EQ(level_bytes(t, 0), (std::vector<std::uint8_t>{255, 0, 255, 255, 30, 20, 10, 255}))
        << "blue, green, red, alpha in memory";

    ASSERT_EQ(TextureFromFile(*device, file, 0, 1, false, &t), Status::Ok);
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Format, gfx::FmtR5G6B5);
    const auto rgb565 = level_bytes(t, 0);
    EXPECT_EQ(u16(rgb565, 0), 0xF81F);
    EXPECT_EQ(u16(rgb565, 1), (1 << 11) | (5 << 5) | 4);

    ASSERT_EQ(TextureFromFile(*device, file, 0xFF00FF00, 1, false, &t), Status::Ok);
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Format, gfx::FmtA1R5G5B5);
    const auto argb1555 = level_bytes(t, 0);
    EXPECT_EQ(u16(argb1555, 0), 0xFC1F) << "a key matching no pixel keeps both opaque";
    EXPECT_EQ(u16(argb1555, 1), 0x8000 | (1 << 10) | (2 << 5) | 4);
}

TEST_F(TextureFile, ColourKeyComparesAlphaToo) {
    const auto file = write("key.bmp", test::EncodeBmp(2, 1, 3, {255, 0, 255, 10, 20, 30}));
    gfx::TexturePtr t;
    ASSERT_EQ(TextureFromFile(*device, file, 0xFFFF00FF, 1, true, &t), Status::Ok);
    EXPECT_EQ(level_bytes(t, 0), (std::vector<std::uint8_t>{0, 0, 0, 0, 30, 20, 10, 255}))
        << "the keyed pixel becomes transparent black";
    ASSERT_EQ(TextureFromFile(*device, file, 0x00FF00FF, 1, true, &t), Status::Ok);
    EXPECT_EQ(level_bytes(t, 0)[3], 255) << "a key with alpha 0 never matches an opaque pixel";

    ASSERT_EQ(TextureFromFile(*device, file, 0xFFFF00FF, 1, false, &t), Status::Ok);
    EXPECT_EQ(u16(level_bytes(t, 0), 0), 0) << "keyed pixel in the 1-bit alpha format";
}

TEST_F(TextureFile, KeepsTheFilesAlphaWhereTheFormatHoldsIt) {
    // A 2 x 1 TGA, 32 bits, top-down: (10, 20, 30) at alpha 128 and (40, 50, 60) at alpha 0.
    const auto file = write("alpha.tga", {0, 0, 2, 0,  0,    0,  0,  0,  0,   0,  0,  0,  2,
                                          0, 1, 0, 32, 0x28, 30, 20, 10, 128, 60, 50, 40, 0});
    gfx::TexturePtr t;
    ASSERT_EQ(TextureFromFile(*device, file, 0, 1, true, &t), Status::Ok);
    EXPECT_EQ(level_bytes(t, 0), (std::vector<std::uint8_t>{30, 20, 10, 128, 60, 50, 40, 0}));
    ASSERT_EQ(TextureFromFile(*device, file, 0xFF000000, 1, false, &t), Status::Ok);
    const auto argb1555 = level_bytes(t, 0);
    EXPECT_EQ(u16(argb1555, 0) >> 15, 1) << "alpha 128 keeps the pixel";
    EXPECT_EQ(u16(argb1555, 1) >> 15, 0) << "alpha 0 clears it";
}

TEST_F(TextureFile, MipChainHalvesDownToOnePixelWithABoxFilter) {
    // 8 x 2: left half black, right half white.
    std::vector<std::uint8_t> px;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 8; ++x)
            for (int c = 0; c < 3; ++c)
                px.push_back(x < 4 ? 0 : 255);
    const auto file = write("strip.bmp", test::EncodeBmp(8, 2, 3, px));
    gfx::TexturePtr t;
    ASSERT_EQ(TextureFromFile(*device, file, 0, 0, true, &t), Status::Ok);
    ASSERT_EQ(t->GetLevelCount(), 4u);
    const std::pair<gfx::Dword, gfx::Dword> sizes[4] = {{8, 2}, {4, 1}, {2, 1}, {1, 1}};
    for (gfx::Dword i = 0; i < 4; ++i) {
        gfx::SurfaceDesc d;
        t->GetLevelDesc(i, &d);
        EXPECT_EQ(d.Width, sizes[i].first) << "level " << i;
        EXPECT_EQ(d.Height, sizes[i].second) << "level " << i;
    }
    EXPECT_EQ(level_bytes(t, 2), (std::vector<std::uint8_t>{0, 0, 0, 255, 255, 255, 255, 255}));
    EXPECT_EQ(level_bytes(t, 3)[0], 128) << "the last level averages black and white";

    ASSERT_EQ(TextureFromFile(*device, file, 0, 2, false, &t), Status::Ok);
    EXPECT_EQ(t->GetLevelCount(), 2u);
    ASSERT_EQ(TextureFromFile(*device, file, 0, 9, false, &t), Status::Ok);
    EXPECT_EQ(t->GetLevelCount(), 4u) << "more levels than the chain has are not invented";
    EXPECT_EQ(sys.Log().Last("CreateTexture")->args,
              (std::vector<double>{8, 2, 4, 0, gfx::FmtR5G6B5, gfx::PoolManaged}));
}

TEST_F(TextureFile, JpegDecodesNearItsColour) {
    std::vector<std::uint8_t> px;
    for (int i = 0; i < 16 * 16; ++i)
        px.insert(px.end(), {200, 100, 50});
    const auto file = write("photo.jpg", test::EncodeJpeg(16, 16, px, 100));
    gfx::TexturePtr t;
    ASSERT_EQ(TextureFromFile(*device, file, 0, 1, true, &t), Status::Ok);
    const auto b = level_bytes(t, 0);
    EXPECT_NEAR(b[2], 200, 3);
    EXPECT_NEAR(b[1], 100, 3);
    EXPECT_NEAR(b[0], 50, 3);
}

TEST_F(TextureFile, FindsFilesWhateverTheLetterCaseAndSeparator) {
    write("Sub/Tex.BMP", test::EncodeBmp(1, 1, 3, {1, 2, 3}));
    gfx::TexturePtr t;
    const std::string windows_style = dir.path().string() + "\\sub\\tex.bmp";
    EXPECT_EQ(TextureFromFile(*device, windows_style, 0, 1, false, &t), Status::Ok);
    EXPECT_NE(t, nullptr);
}

TEST_F(TextureFile, BadFilesGiveNoTextureAndNoDeviceCall) {
    std::vector<std::uint8_t> px(32 * 32 * 3, 90);
    const auto bmp = test::EncodeBmp(32, 32, 3, px);
    const auto jpg = test::EncodeJpeg(32, 32, px, 90);
    std::vector<std::uint8_t> corrupt_jpg = jpg;
    for (std::size_t i = 20; i < corrupt_jpg.size() - 2; ++i)
        corrupt_jpg[i] = static_cast<std::uint8_t>(i * 7);
    std::vector<std::uint8_t> huge = test::EncodeBmp(1, 1, 3, {0, 0, 0});
    huge[18] = 0xA0; // width 100000
    huge[19] = 0x86;
    huge[20] = 0x01;

    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> cases = {
        {"empty.bmp", {}},
        {"truncated.bmp",
         std::vector<std::uint8_t>(bmp.begin(), bmp.begin() + static_cast<long>(bmp.size() / 2))},
        {"header-only.bmp", std::vector<std::uint8_t>(bmp.begin(), bmp.begin() + 20)},
        {"truncated.jpg",
         std::vector<std::uint8_t>(jpg.begin(), jpg.begin() + static_cast<long>(jpg.size() * 2 / 3))},
        {"corrupt.jpg", corrupt_jpg},
        {"text.bmp", {'h', 'e', 'l', 'l', 'o'}},
        {"huge.bmp", huge},
    };
    for (const auto& [name, bytes] : cases) {
        const auto file = write(name, bytes);
        gfx::TexturePtr t =
            std::make_shared<gfx::MemoryTexture>(1, 1, 1, 0, gfx::FmtA8R8G8B8, gfx::PoolManaged);
        EXPECT_NE(TextureFromFile(*device, file, 0, 0, false, &t), Status::Ok) << name;
        EXPECT_EQ(t, nullptr) << name;
        std::string error;
        TextureImage image;
        EXPECT_FALSE(DecodeTextureFile(file, 0, 0, false, &image, &error)) << name;
        EXPECT_FALSE(error.empty()) << name;
    }
    gfx::TexturePtr t;
    EXPECT_NE(TextureFromFile(*device, (dir.path() / "missing.bmp").string(), 0, 0, false, &t), Status::Ok);
    EXPECT_EQ(sys.Log().Count("CreateTexture"), 0u);
}

TEST_F(TextureFile, DeviceRefusalsGiveNoTexture) {
    const auto file = write("ok.bmp", test::EncodeBmp(4, 4, 3, std::vector<std::uint8_t>(48, 7)));
    gfx::TexturePtr t;
    sys.Control().failing_calls["CreateTexture"] = Status::OutOfMemory;
    EXPECT_EQ(TextureFromFile(*device, file, 0, 0, false, &t), Status::OutOfMemory);
    EXPECT_EQ(t, nullptr);
    sys.Control().failing_calls.clear();
    sys.Control().lock_result = Status::InvalidCall;
    EXPECT_NE(TextureFromFile(*device, file, 0, 0, false, &t), Status::Ok);
    EXPECT_EQ(t, nullptr);
}

} // namespace
} // namespace kl::d3dx
