// Work handed to a second core while the calling thread goes on drawing. Mesa's software rasteriser
// takes a frame's triangles on the thread that draws them and rasterises them only when the frame
// ends, so during the draws the machine's other cores would otherwise idle.
#pragma once

#include <exception>
#include <functional>
#include <thread>

namespace kl::scene {

class SideTask {
  public:
    // Starts task on its own thread when beside; otherwise, or when no thread can be had, Join runs
    // it on the caller's thread.
    SideTask(std::function<void()> task, bool beside);
    ~SideTask();
    SideTask(const SideTask&) = delete;
    SideTask& operator=(const SideTask&) = delete;

    // True while the task runs, or ran, on its own thread.
    bool Beside() const { return thread_.joinable(); }
    // Returns once the task has ended; what it threw is thrown here, on the caller's thread.
    void Join();

  private:
    std::function<void()> task_;
    std::exception_ptr thrown_;
    std::thread thread_;
    bool done_ = false;
};

} // namespace kl::scene
