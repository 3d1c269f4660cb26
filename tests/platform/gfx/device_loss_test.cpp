// The OpenGL device's notion of a lost device, driven by the window's state.
#include "platform/gfx/gl/device_loss.h"

#include <gtest/gtest.h>

namespace kl::gfx {
namespace {

using platform::Status;

TEST(DeviceLoss, MinimisedFullScreenIsLostThenWaitsForAReset) {
    DeviceLoss loss;
    EXPECT_EQ(loss.Observe(false, false), Status::Ok);
    EXPECT_EQ(loss.Observe(false, true), Status::DeviceLost);
    EXPECT_FALSE(loss.CanReset(false, true));
    EXPECT_EQ(loss.Observe(false, true), Status::DeviceLost) << "still minimised";
    EXPECT_EQ(loss.Observe(false, false), Status::DeviceNotReset) << "restored, not yet reset";
    EXPECT_EQ(loss.Observe(false, false), Status::DeviceNotReset) << "stays so until the reset";
    EXPECT_TRUE(loss.CanReset(false, false));
    loss.Restored();
    EXPECT_EQ(loss.Observe(false, false), Status::Ok);
}

TEST(DeviceLoss, AWindowedDeviceIsNotLostByMinimising) {
    DeviceLoss loss;
    EXPECT_EQ(loss.Observe(true, true), Status::Ok);
    EXPECT_TRUE(loss.CanReset(true, true));
    loss.MarkLost(); // a failed reset
    EXPECT_EQ(loss.Observe(true, false), Status::DeviceNotReset);
}

} // namespace
} // namespace kl::gfx
