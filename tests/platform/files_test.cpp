#include "platform/os/files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace kl::platform {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

TEST(ResolvePath, AcceptsEitherSeparatorAndIgnoresLetterCase) {
    TempDir dir;
    WriteBytes(dir.path() / "3z-idaveva" / "SKY1.x", {1});
    EXPECT_EQ(ResolvePath(dir.path(), "3z-idaveva\\SKY1.x"), dir.path() / "3z-idaveva" / "SKY1.x");
    EXPECT_EQ(ResolvePath(dir.path(), "3Z-IDAVEVA/sky1.X"), dir.path() / "3z-idaveva" / "SKY1.x");
    EXPECT_TRUE(FileExists(ResolvePath(dir.path(), "3z-IdAvEvA\\Sky1.X")));
}

TEST(ResolvePath, KeepsMissingNamesAsWritten) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "Data");
    EXPECT_EQ(ResolvePath(dir.path(), "data\\New.dat"), dir.path() / "Data" / "New.dat");
    EXPECT_FALSE(FileExists(ResolvePath(dir.path(), "data\\New.dat")));
}

TEST(ReadFileBytes, ReadsAtMostTheLimitAndFailsOnMissingFiles) {
    TempDir dir;
    WriteBytes(dir.path() / "f", {1, 2, 3, 4, 5});
    EXPECT_EQ(*ReadFileBytes(dir.path() / "f", 3), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(*ReadFileBytes(dir.path() / "f", 10), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_FALSE(ReadFileBytes(dir.path() / "missing", 10).has_value());
}

TEST(OverwriteFileStart, KeepsTheTailAndThePermissionsOfALongerFile) {
    TempDir dir;
    const auto f = dir.path() / "config.dat";
    WriteBytes(f, {9, 9, 9, 9, 7, 8});
    ::chmod(f.c_str(), 0600);
    EXPECT_EQ(OverwriteFileStart(f, {1, 2, 3}), "");
    EXPECT_EQ(ReadBytes(f), (std::vector<std::uint8_t>{1, 2, 3, 9, 7, 8}));
    struct stat st {};
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(OverwriteFileStart, CreatesAMissingFileAndReportsAMissingFolder) {
    TempDir dir;
    EXPECT_EQ(OverwriteFileStart(dir.path() / "new.dat", {4, 5}), "");
    EXPECT_EQ(ReadBytes(dir.path() / "new.dat"), (std::vector<std::uint8_t>{4, 5}));
    EXPECT_NE(OverwriteFileStart(dir.path() / "no-such-folder" / "x.dat", {1}), "");
}

} // namespace
} // namespace kl::platform
