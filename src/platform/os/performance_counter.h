// The high-resolution tick counter behind the engine clock. The system counter is monotonic with
// nanosecond ticks; tests and reproducible runs substitute a counter they step themselves.
#pragma once

#include <cstdint>

namespace kl::platform {

class PerformanceCounter {
  public:
    virtual ~PerformanceCounter() = default;
    virtual std::int64_t Frequency() = 0; // ticks per second
    virtual std::int64_t Now() = 0;
};

// The process-wide monotonic counter.
PerformanceCounter& SystemCounter();

// A counter that only moves when told to.
class SteppedCounter final : public PerformanceCounter {
  public:
    explicit SteppedCounter(std::int64_t frequency, std::int64_t start = 0)
        : frequency_(frequency), now_(start) {}
    std::int64_t Frequency() override { return frequency_; }
    std::int64_t Now() override { return now_; }
    void Advance(std::int64_t ticks) { now_ += ticks; }
    void Set(std::int64_t ticks) { now_ = ticks; }

  private:
    std::int64_t frequency_;
    std::int64_t now_;
};

} // namespace kl::platform

namespace kl::platform {

// A counter for reproducible runs: every reading moves it on by one fixed step, so a frame loop that
// reads the clock once per frame sees exactly that step as every frame's time.
class FixedStepCounter final : public PerformanceCounter {
  public:
    explicit FixedStepCounter(double step_seconds)
        : step_(static_cast<std::int64_t>(step_seconds * 1e9 + 0.5)) {}
    std::int64_t Frequency() override { return 1'000'000'000; }
    std::int64_t Now() override {
        now_ += step_;
        return now_;
    }

  private:
    std::int64_t step_;
    std::int64_t now_ = 0;
};

} // namespace kl::platform
