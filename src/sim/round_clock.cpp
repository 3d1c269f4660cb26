// Since CountFinished is always 0, the crash below fires only when RoundLimit is 0 or less, and then
// in every frame.
#include "sim/round_clock.h"

#include "sim/mdl_kl.h"

namespace kl::mdlKl {

std::int32_t CountFinished() {
    return 0;
}

void AdvanceRoundClock(RoundState& Round, float TimeDiff) {
    const ProgramState& P = Program();
    Round.RoundCount = CountFinished();
    if (Round.RoundCount >= P.Settings.RoundLimit) {
        for (std::int64_t i = 0; i <= P.Settings.LastPlayer; ++i)
            PlayerAt(i).Crash();
    }
    Round.RoundClock = Round.RoundClock + TimeDiff;
    Round.TimeScale = 1.0f;
    Round.RoundEndAllowed = true;
    if (Round.RoundClock >= 0) Round.ControlEnabled = true;
}

} // namespace kl::mdlKl
