#include "platform/os/files.h"
#include "support/temp_dir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(OverwriteFileStart, LeavesAWriteProtectedFileAsItIs) {
    TempDir dir;
    const auto f = dir.path() / "config.dat";
    WriteBytes(f, {9, 9, 9, 9});
    ::chmod(f.c_str(), 0444);
    EXPECT_NE(OverwriteFileStart(f, {1, 2}), "");
    EXPECT_EQ(ReadBytes(f), (std::vector<std::uint8_t>{9, 9, 9, 9}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// A write that stops half-way (here at the file-size limit of a child process, standing in for a
// full disk) leaves the old file whole and no temporary file behind.
TEST(OverwriteFileStart, AWriteThatFailsHalfWayChangesNothing) {
    TempDir dir;
    const auto f = dir.path() / "config.dat";
    const std::vector<std::uint8_t> old(137 + 8192, 0x5A);
    WriteBytes(f, old);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(OverwriteFileStart(f, std::vector<std::uint8_t>(137, 1)).empty() ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3) << "the failed write must be reported";
    EXPECT_EQ(ReadBytes(f), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

} // namespace
} // namespace kl::platform
