#include "scene/side_task.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace kl::scene {
namespace {

// What the side thread did is there after Join, and what it threw comes out of Join on the caller's
// thread rather than ending the program; asked not to go beside, the work runs on the caller's thread.
TEST(SideTask, WorkIsDoneByJoinAndItsExceptionComesBackToTheCaller) {
    const std::thread::id caller = std::this_thread::get_id();
    std::thread::id ran_on;
    int sum = 0;
    SideTask beside(
        [&] {
            ran_on = std::this_thread::get_id();
            for (int i = 1; i <= 100; ++i)
                sum += i;
        },
        true);
    beside.Join();
    EXPECT_EQ(sum, 5050);
    EXPECT_NE(ran_on, caller);

    SideTask failing([] { throw std::runtime_error("out of memory"); }, true);
    EXPECT_THROW(failing.Join(), std::runtime_error);
    EXPECT_NO_THROW(failing.Join()) << "thrown once";

    SideTask inline_task([&] { ran_on = std::this_thread::get_id(); }, false);
    EXPECT_NE(ran_on, caller) << "not started before Join";
    inline_task.Join();
    EXPECT_EQ(ran_on, caller);
}

} // namespace
} // namespace kl::scene
