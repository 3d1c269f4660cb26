// The engine clock: absolute and relative times as 32-bit floats, so that the relative times always
// sum to the latest absolute time and no drift builds up.
#include "engine/cls3d_engine.h"
#include "fault/fault.h"

namespace kl {

void cls3dEngine::StartTimer() {
    TimerFrequency = Counter->Frequency();
    TimerStart = Counter->Now();
    LastTime = 0.0f;
}

float cls3dEngine::SecondsSinceStart() {
    const std::int64_t ticks = Counter->Now() - TimerStart;
    if (TimerFrequency == 0) throw Fault("Division by zero");
    return static_cast<float>(static_cast<double>(ticks) / static_cast<double>(TimerFrequency));
}

float cls3dEngine::GetAbsTimeDiff() {
    return SecondsSinceStart();
}

float cls3dEngine::GetRelTimeDiff() {
    const float t = SecondsSinceStart();
    const float d = t - LastTime;
    LastTime = t;
    return d;
}

} // namespace kl
