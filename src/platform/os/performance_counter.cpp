// The system counter over the monotonic clock.
#include "platform/os/performance_counter.h"

#include <chrono>

namespace kl::platform {

namespace {
class MonotonicCounter final : public PerformanceCounter {
  public:
    std::int64_t Frequency() override { return 1'000'000'000; }
    std::int64_t Now() override {
        const auto t = std::chrono::steady_clock::now().time_since_epoch();
        return std::chrono::duration_cast<std::chrono::nanoseconds>(t).count();
    }
};
} // namespace

PerformanceCounter& SystemCounter() {
    static MonotonicCounter counter;
    return counter;
}

} // namespace kl::platform
