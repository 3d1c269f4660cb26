#include "engine/settings_record.h"
#include "support/temp_dir.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace kl {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<std::uint8_t>(rng());
    return v;
}

std::vector<std::uint8_t> Encoded(const SettingsRecord& s) {
    const auto a = EncodeSettings(s);
    return {a.begin(), a.end()};
}

TEST(SettingsRecord, FieldsSitAtTheirOffsetsLittleEndian) {
    SettingsRecord s;
    s.Width = 1024;
    s.Height = 768;
    s.Format = 22;
    s.AntiAlias = 4;
    s.ClearMode = 2;
    s.Spare24 = -1;
    s.AnisotropicFilter = 1;
    s.WorldSize = 64000.0f;
    s.PlayerSpeed = 20.0f;
    s.RoundLimit = 1;
    s.CameraMode = 7;
    s.ResH = 1280;
    s.ResV = 1024;
    s.AspectRatio = "1,333";
    const auto b = Encoded(s);
    auto i32 = [&](std::size_t off) {
        std::int32_t v;
        std::memcpy(&v, &b[off], 4);
        return v;
    };
    auto f32 = [&](std::size_t off) {
        float v;
        std::memcpy(&v, &b[off], 4);
        return v;
    };
    EXPECT_EQ(b.size(), 137u);
    EXPECT_EQ(i32(0), 1024);
    EXPECT_EQ(i32(4), 768);
    EXPECT_EQ(i32(8), 22);
    EXPECT_EQ(i32(12), 4);
    EXPECT_EQ(i32(20), 2);
    EXPECT_EQ(b[24], 0xFF);
    EXPECT_EQ(b[25], 0xFF);
    EXPECT_EQ(b[26], 1);
    EXPECT_EQ(f32(32), 64000.0f);
    EXPECT_EQ(f32(36), 20.0f);
    EXPECT_EQ(i32(40), 1);
    EXPECT_EQ(i32(52), 7);
    EXPECT_EQ(i32(124), 1280);
    EXPECT_EQ(i32(128), 1024);
    EXPECT_EQ(std::string(b.begin() + 132, b.end()), "1,333");
}

TEST(SettingsRecord, ReadingAndWritingBackReproducesEveryByteButTheLastPadding) {
    for (unsigned seed = 1; seed <= 50; ++seed) {
        auto bytes = RandomBytes(137, seed);
        auto out = Encoded(DecodeSettings(bytes));
        // Offset 122 is padding that is not kept.
        bytes[122] = bytes[123] = 0;
        EXPECT_EQ(out, bytes) << "seed " << seed;
    }
}

TEST(SettingsRecord, AspectTextHoldsSevenCharactersButStoresFive) {
    std::vector<std::uint8_t> bytes(137, 0);
    std::memcpy(&bytes[132], "1,333", 5);
    SettingsRecord s = DecodeSettings(bytes);
    EXPECT_EQ(s.AspectRatio.chars()[5], '\0');
    EXPECT_EQ(s.AspectRatio.chars()[6], '\0');
    EXPECT_EQ(s.AspectRatio.str(), "1,333");

    s.AspectRatio = "1,77777";
    EXPECT_EQ(DecodeSettings(Encoded(s)).AspectRatio.str(), "1,777");
    s.AspectRatio = "1,6";
    EXPECT_EQ(s.AspectRatio.str(), "1,6    ");
    EXPECT_EQ(DecodeSettings(Encoded(s)).AspectRatio.str(), "1,6  ");
}

TEST(SettingsRecord, ShortAndLongInputsReadSafely) {
    const auto full = RandomBytes(137, 3);
    const SettingsRecord shortRec = DecodeSettings({full.begin(), full.begin() + 10});
    EXPECT_EQ(shortRec.Width, DecodeSettings(full).Width);
    EXPECT_EQ(shortRec.Format & 0xFFFF0000, 0); // bytes 10 and 11 missing: zeros
    EXPECT_EQ(shortRec.ResH, 0);
    EXPECT_EQ(shortRec.AspectRatio.str(), "");

    auto longer = full;
    longer.resize(4096, 0xAB);
    EXPECT_EQ(Encoded(DecodeSettings(longer)), Encoded(DecodeSettings(full)));
    EXPECT_EQ(DecodeSettings({}).RoundLimit, 0);
}

struct SettingsFiles : ::testing::Test {
    TempDir dir;
    std::filesystem::path folder() const { return dir.path() / "3z-idaveva"; }
};

TEST_F(SettingsFiles, ConfigWinsOverDefaultsAndNeitherMeansNothing) {
    EXPECT_FALSE(ChooseSettingsFile(dir.path()).has_value());
    WriteBytes(folder() / "default.dat", RandomBytes(137, 1));
    EXPECT_EQ(*ChooseSettingsFile(dir.path()), folder() / "default.dat");
    WriteBytes(folder() / "config.dat", RandomBytes(137, 2));
    EXPECT_EQ(*ChooseSettingsFile(dir.path()), folder() / "config.dat");
}

TEST_F(SettingsFiles, AUsersConfigElsewhereWinsAndIsWrittenThere) {
    const auto user = dir.path() / "home" / "config.dat";
    WriteBytes(folder() / "default.dat", RandomBytes(137, 1));
    WriteBytes(folder() / "config.dat", RandomBytes(137, 2)); // not the user's: never read
    EXPECT_EQ(*ChooseSettingsFile(dir.path(), user), folder() / "default.dat");
    auto s = *ReadSettingsFile(folder() / "default.dat");
    s.PlayerSpeed = 12.5f;
    std::filesystem::create_directories(user.parent_path());
    EXPECT_EQ(WriteSettingsFileTo(user, s), "");
    EXPECT_EQ(*ChooseSettingsFile(dir.path(), user), user);
    EXPECT_EQ(ReadSettingsFile(user)->PlayerSpeed, 12.5f);
    EXPECT_EQ(ReadBytes(folder() / "config.dat"), RandomBytes(137, 2));
}

TEST_F(SettingsFiles, NamesAreFoundWhateverTheirLetterCase) {
    std::filesystem::create_directories(dir.path() / "3Z-IDAVEVA");
    WriteBytes(dir.path() / "3Z-IDAVEVA" / "Default.DAT", RandomBytes(137, 1));
    ASSERT_TRUE(ChooseSettingsFile(dir.path()).has_value());
    EXPECT_TRUE(ReadSettingsFile(*ChooseSettingsFile(dir.path())).has_value());
}

TEST_F(SettingsFiles, WritingGoesToConfigAndLeavesDefaultsAlone) {
    const auto defaults = RandomBytes(137, 11);
    WriteBytes(folder() / "default.dat", defaults);
    auto s = ReadSettingsFile(folder() / "default.dat");
    ASSERT_TRUE(s.has_value());
    s->PlayerSpeed = 33.5f;
    EXPECT_EQ(WriteSettingsFile(dir.path(), *s), "");
    EXPECT_EQ(ReadBytes(folder() / "default.dat"), defaults);
    const auto written = ReadBytes(folder() / "config.dat");
    ASSERT_EQ(written.size(), 137u);
    EXPECT_EQ(ReadSettingsFile(folder() / "config.dat")->PlayerSpeed, 33.5f);
}

TEST_F(SettingsFiles, ALongerConfigKeepsItsTail) {
    auto original = RandomBytes(300, 5);
    WriteBytes(folder() / "config.dat", original);
    auto s = *ReadSettingsFile(folder() / "config.dat");
    s.ResH = 800;
    EXPECT_EQ(WriteSettingsFile(dir.path(), s), "");
    const auto after = ReadBytes(folder() / "config.dat");
    ASSERT_EQ(after.size(), 300u);
    EXPECT_TRUE(std::equal(after.begin() + 137, after.end(), original.begin() + 137));
    EXPECT_EQ(ReadSettingsFile(folder() / "config.dat")->ResH, 800);
}

TEST_F(SettingsFiles, FailuresAreReportedNotHidden) {
    EXPECT_FALSE(ReadSettingsFile(folder() / "config.dat").has_value());
    EXPECT_NE(WriteSettingsFile(dir.path(), SettingsRecord{}), ""); // no data folder
}

} // namespace
} // namespace kl
