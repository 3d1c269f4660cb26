// The round clock: advanced once per frame, it enables the user's controls and ends the round for
// the user's vehicles once enough of them have finished (which never happens: none ever finishes).
#pragma once

#include <cstdint>

namespace kl::mdlKl {

// The state of one round, reset at every round start; the scene keeps it.
struct RoundState {
    std::int32_t RoundCount = 0;
    float RoundClock = 0.0f;
    float TimeScale = 1.0f;
    bool ControlEnabled = false;
    bool RoundEndAllowed = false;
};

void AdvanceRoundClock(RoundState& Round, float TimeDiff);
std::int32_t CountFinished();

} // namespace kl::mdlKl
