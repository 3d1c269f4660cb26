#include "scene/side_task.h"

#include <system_error>
#include <utility>

namespace kl::scene {

SideTask::SideTask(std::function<void()> task, bool beside) : task_(std::move(task)) {
    if (!beside) return;
    try {
        thread_ = std::thread([this] {
            try {
                task_();
            } catch (...) {
                thrown_ = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        // Out of threads: the work is still done, only later.
    }
}

SideTask::~SideTask() {
    // Left by an exception of the caller's: the task may still be using what the caller owns.
    if (thread_.joinable()) thread_.join();
}

void SideTask::Join() {
    if (done_) return;
    done_ = true;
    if (thread_.joinable())
        thread_.join();
    else
        task_();
    if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
}

} // namespace kl::scene
