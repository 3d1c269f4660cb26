// What DrawReach may leave out: boxes off each side of the view volume, boxes between pixel centres,
// and never anything it cannot be sure of (a box across the eye plane, multisampling, bad numbers).
#include "engine/draw_reach.h"
#include "engine/math.h"

#include <gtest/gtest.h>
#include <limits>

namespace kl {
namespace {

// The program's camera: from the origin along +z, 45 degrees high, 4:3, depth 1 to 50000, on a
// 1024 x 768 screen. A unit of x at distance d is 1024 / (2 * 0.4142 * 4/3 * d) pixels: about
// 927 / d.
struct ReachTest : ::testing::Test {
    Matrix4 view = MatrixLookAtLH({0, 0, 0}, {0, 0, 1}, {0, 1, 0});
    Matrix4 projection = MatrixPerspectiveFovLH(0.785398f, 4.0f / 3.0f, 1.0f, 50000.0f);
    gfx::Viewport viewport{0, 0, 1024, 768, 0, 1};
    DrawReach reach{view, projection, viewport, true};

    bool hidden(const Vec3& at, float half) const {
        return reach.ReachesNoPixel(MatrixTranslation(at.x, at.y, at.z), {-half, -half, -half},
                                    {half, half, half});
    }
};

TEST_F(ReachTest, BoxesWhollyOffOneSideOfTheViewVolumeAreHidden) {
    EXPECT_FALSE(hidden({0, 0, 100}, 1));
    EXPECT_TRUE(hidden({0, 0, -100}, 1)) << "behind the eye";
    EXPECT_TRUE(hidden({0, 0, 0.5f}, 0.2f)) << "before the near plane";
    // Depth and distance are nearly equal out there, and single precision rounds both: a box is only
    // left out well beyond the far plane (its pixel-centre test aside).
    EXPECT_TRUE(hidden({0, 0, 200000}, 100)) << "beyond the far plane";
    EXPECT_FALSE(hidden({0, 0, 50050}, 100)) << "across the far plane";
    // The side planes at z = 100 lie at x = +-55.2 and y = +-41.4.
    EXPECT_TRUE(hidden({60, 0, 100}, 2));
    EXPECT_TRUE(hidden({-60, 0, 100}, 2));
    EXPECT_TRUE(hidden({0, 46, 100}, 2));
    EXPECT_TRUE(hidden({0, -46, 100}, 2));
    EXPECT_FALSE(hidden({56, 0, 100}, 2)) << "across the right plane";
    EXPECT_FALSE(hidden({0, 0, 0}, 5)) << "around the eye";
}

TEST_F(ReachTest, BoxesBetweenPixelCentresAreHiddenOnlyWithSingleSampledFill) {
    // At d = 9270 a unit is 0.1 pixel. The centre of the screen (512, 384) is a pixel corner, so a
    // box of 0.1 pixel around it lies between the centres 511.5 and 512.5.
    EXPECT_TRUE(hidden({0, 0, 9270}, 0.5f));
    // Moved half a pixel (five units) right and down it covers the centre (512.5, 384.5).
    EXPECT_FALSE(hidden({5, -5, 9270}, 0.5f));
    // Between the centres in x but over one in y is still hidden.
    EXPECT_TRUE(hidden({0, -5, 9270}, 0.5f));
    // A box of over a pixel always covers a centre.
    EXPECT_FALSE(hidden({0, 0, 9270}, 6));
    // Its picture is 12 units, 1.2 pixels, across (what decides a vehicle's box form); across the
    // eye plane it has no size.
    double picture = 0;
    EXPECT_FALSE(reach.ReachesNoPixel(MatrixTranslation(0, 0, 9270), {-6, -6, -6}, {6, 6, 6}, &picture));
    EXPECT_NEAR(picture, 1.2, 0.01);
    EXPECT_FALSE(reach.ReachesNoPixel(MatrixTranslation(0, 0, 0), {-5, -5, -5}, {5, 5, 5}, &picture));
    EXPECT_EQ(picture, std::numeric_limits<double>::infinity());

    const DrawReach multisampled(view, projection, viewport, false);
    EXPECT_FALSE(multisampled.ReachesNoPixel(MatrixTranslation(0, 0, 9270), {-0.5f, -0.5f, -0.5f},
                                             {0.5f, 0.5f, 0.5f}));
    EXPECT_TRUE(multisampled.ReachesNoPixel(MatrixTranslation(0, 0, -100), {-1, -1, -1}, {1, 1, 1}));
}

TEST_F(ReachTest, ACentreJustOutsideTheBoxStillCounts) {
    // At this distance a unit is a tenth of a pixel from the screen centre (512, 384); the boxes span
    // 384.48 to 384.52 down the screen, over the centres of that row.
    const Matrix4 at = MatrixTranslation(0, 0, 9270.6f);
    // 512.46 to 512.495 across: the centre 512.5 is within the rasteriser's snapping of the box.
    EXPECT_FALSE(reach.ReachesNoPixel(at, {4.6f, -5.2f, -0.1f}, {4.95f, -4.8f, 0.1f}));
    // 512.1 to 512.35 is clear of it.
    EXPECT_TRUE(reach.ReachesNoPixel(at, {1.0f, -5.2f, -0.1f}, {3.5f, -4.8f, 0.1f}));
}

TEST_F(ReachTest, TheViewportPlacesThePixelCentres) {
    // A viewport moved by whole pixels keeps the answer; an odd width puts a pixel centre in the middle.
    const DrawReach shifted(view, projection, {7, 3, 1024, 768, 0, 1}, true);
    EXPECT_TRUE(
        shifted.ReachesNoPixel(MatrixTranslation(0, 0, 9270), {-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}));
    const DrawReach odd(view, projection, {0, 0, 1023, 767, 0, 1}, true);
    EXPECT_FALSE(
        odd.ReachesNoPixel(MatrixTranslation(0, 0, 9270), {-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}));
}

TEST_F(ReachTest, NothingIsHiddenThatCannotBeWorkedOut) {
    EXPECT_FALSE(DrawReach().ReachesNoPixel(MatrixTranslation(0, 0, -100), {-1, -1, -1}, {1, 1, 1}));
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(reach.ReachesNoPixel(MatrixTranslation(0, 0, -100), {nan, -1, -1}, {1, 1, 1}));
    EXPECT_FALSE(reach.ReachesNoPixel(MatrixTranslation(0, 0, -100), {-1, -1, -1}, {inf, 1, 1}));
    EXPECT_FALSE(reach.ReachesNoPixel(MatrixTranslation(nan, 0, -100), {-1, -1, -1}, {1, 1, 1}));
    // A small box from behind the eye to past the near plane has no picture to measure.
    EXPECT_FALSE(hidden({0, 0, 0.6f}, 0.5f));
}

TEST_F(ReachTest, FarFromTheOriginTheAllowanceGrowsWithTheRounding) {
    // The same tiny box between the centres, seen from 4,000 km out, where single precision rounds
    // positions to a quarter unit: it is drawn to be safe. The sides of the view volume still hide
    // what lies clearly beyond them.
    const Vec3 eye{4e6f, 4e6f, 4e6f};
    const Matrix4 far_view = MatrixLookAtLH(eye, {eye.x, eye.y, eye.z + 1}, {0, 1, 0});
    const DrawReach far_reach(far_view, projection, viewport, true);
    const float h = 0.5f;
    EXPECT_TRUE(hidden({0, 0, 9270}, h));
    EXPECT_FALSE(
        far_reach.ReachesNoPixel(MatrixTranslation(eye.x, eye.y, eye.z + 9270), {-h, -h, -h}, {h, h, h}));
    EXPECT_TRUE(
        far_reach.ReachesNoPixel(MatrixTranslation(eye.x, eye.y, eye.z - 10000), {-h, -h, -h}, {h, h, h}));
}

} // namespace
} // namespace kl
