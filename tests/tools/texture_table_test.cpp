#include "texture_table.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <set>

namespace kl::data {
namespace {

TEST(TextureTable, SlotsFollowTheSceneLayout) {
    const auto names = scene_texture_names();
    ASSERT_EQ(names.size(), 118u);
    EXPECT_EQ(names[0], "sky001.bmp");
    EXPECT_EQ(names[1], "0001.bmp");
    EXPECT_EQ(names[116], "33063001.jpg");
    EXPECT_EQ(names[117], "white.bmp");
    // Group g's texture k sits at slot k + offset, written with two-digit numbers.
    const int offsets[7] = {1, 18, 35, 50, 67, 81, 95};
    const int counts[7] = {17, 17, 15, 17, 14, 14, 20};
    for (int g = 0; g < 7; ++g)
        for (int k = 1; k <= counts[g]; ++k) {
            char expected[32];
            std::snprintf(expected, sizeof expected, "3c-0%d-%d%d.jpg", g + 1, k / 10, k % 10);
            EXPECT_EQ(names[static_cast<std::size_t>(k + offsets[g])], expected);
        }
    // The fallback slot for unknown names.
    EXPECT_EQ(names[7], "3c-01-06.jpg");
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
}

} // namespace
} // namespace kl::data
