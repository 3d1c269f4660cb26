// Processing of pending window messages. Subsystems that care about particular events (focus,
// minimise, key presses) watch them with SDL_AddEventWatch inside the platform; this only lets them run.
#pragma once

namespace kl::platform {

// Runs every pending window event once; returns false when the user asked the program to close.
bool PumpEvents();

} // namespace kl::platform
