// Without any display the error message still reaches the user, on stderr.
#include "platform/os/message_box.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace kl::platform {
namespace {

TEST(MessageBox, WithoutADisplayTheMessageGoesToStderr) {
    // Each test runs in a process of its own under ctest, so this changes nothing for the others.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    testing::internal::CaptureStderr();
    const bool shown = ShowErrorMessage("Kelvane 3D", "Couldn't get access to the keyboard.");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(shown);
    EXPECT_EQ(err.substr(0, err.find('\n') + 1), "Kelvane 3D: Couldn't get access to the keyboard.\n");
    EXPECT_NE(err.find("\n(no message box: "), std::string::npos) << err;
}

} // namespace
} // namespace kl::platform
