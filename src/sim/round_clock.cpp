// Since CountFinished is always 0, the crash below fires only when RoundLimit is 0 or less, and then
// in every frame.
#include "sim/round_clock.h"

#include "sim/mdl_kl.h"

namespace kl::mdlKl {

std::int32_t CountFinished() {
    return 0;
}

void AdvanceRoundClock(float TimeDiff) {
    ProgramState& P = Program();
    P.RoundCount = CountFinished();
    if (P.RoundCount >= P.Settings.RoundLimit) {
        for (std::int64_t i = 0; i <= P.Settings.LastPlayer; ++i)
            PlayerAt(i).Crash();
    }
    P.RoundClock = P.RoundClock + TimeDiff;
    P.TimeScale = 1.0f;
    P.RoundEndAllowed = true;
    if (P.RoundClock >= 0) P.ControlEnabled = true;
}

} // namespace kl::mdlKl
