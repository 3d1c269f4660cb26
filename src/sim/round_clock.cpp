// Since CountFinished is always 0, the crash below fires only when RoundLimit is 0 or less, and then
// in every frame.
#include "sim/round_clock.h"

#include "sim/mdl_kl.h"

namespace kl::mdlKl {

std::int32_t CountFinished() {
    return 0;
}

void AdvanceRoundClock(float TimeDiff) {
    RoundCount = CountFinished();
    if (RoundCount >= Settings.RoundLimit) {
        for (std::int64_t i = 0; i <= Settings.LastPlayer; ++i)
            PlayerAt(i).Crash();
    }
    RoundClock = RoundClock + TimeDiff;
    TimeScale = 1.0f;
    RoundEndAllowed = true;
    if (RoundClock >= 0) ControlEnabled = true;
}

} // namespace kl::mdlKl
