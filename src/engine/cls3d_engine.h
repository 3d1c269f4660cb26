// The engine object: the program's only clock for now; device, frame cycle and states join it.
#pragma once

#include "platform/os/performance_counter.h"

#include <cstdint>

namespace kl {

class cls3dEngine {
  public:
    cls3dEngine() = default;
    cls3dEngine(const cls3dEngine&) = delete;
    cls3dEngine& operator=(const cls3dEngine&) = delete;

    // Clock. The queries raise kl::Fault (division by zero) before StartTimer has run.
    void StartTimer();
    float GetAbsTimeDiff();
    float GetRelTimeDiff();
    // Lets tests and reproducible runs drive the clock; the counter must outlive the engine.
    void SetPerformanceCounter(platform::PerformanceCounter& counter) { Counter = &counter; }

    std::int64_t TimerFrequency = 0;
    std::int64_t TimerStart = 0;
    float LastTime = 0.0f;

  private:
    float SecondsSinceStart();

    platform::PerformanceCounter* Counter = &platform::SystemCounter();
};

} // namespace kl
