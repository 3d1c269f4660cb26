// The round clock: advanced once per frame, it enables the user's controls and ends the round for
// the user's vehicles once enough of them have finished (which never happens: none ever finishes).
#pragma once

#include <cstdint>

namespace kl::mdlKl {

void AdvanceRoundClock(float TimeDiff);
std::int32_t CountFinished();

} // namespace kl::mdlKl
