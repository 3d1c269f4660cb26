// Processing of pending window messages. Subsystems that care about particular events (focus,
// minimise, key presses) watch them with SDL_AddEventWatch inside the platform; this only lets them run.
#pragma once

#include <cstdint>

namespace kl::platform {

// Starts the SDL subsystems in sdl_flags (SDL_INIT_VIDEO, ...); false when they cannot be had, with
// the cause in SDL_GetError() (for video: no display named, or one that cannot be reached).
// Interrupt and termination signals keep their usual effect: SDL would turn them into quit events,
// which no loop of the program reads, and the process could then only be killed.
bool StartSdlSubsystems(std::uint32_t sdl_flags);

// Runs every pending window event once; returns false once the user has asked the program to close
// (the window manager's close request, or a quit request), at this call or any before.
bool PumpEvents();

} // namespace kl::platform
