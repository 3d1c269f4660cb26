// Processing of pending window messages. Subsystems that care about particular events (focus,
// minimise, key presses) watch them with SDL_AddEventWatch inside the platform; this only lets them run.
#pragma once

#include <cstdint>
#include <string>

namespace kl::platform {

// Starts the SDL subsystems in sdl_flags (SDL_INIT_VIDEO, ...); false when they cannot be had.
// Interrupt and termination signals keep their usual effect: SDL would turn them into quit events,
// which no loop of the program reads, and the process could then only be killed.
bool StartSdlSubsystems(std::uint32_t sdl_flags);

// Why no window can be opened, read from the environment before anything touches the display: no
// X or Wayland display named and no other video driver chosen (SDL_VIDEODRIVER). Empty when there
// may be one; whether it then opens is for the display bring-up to find out.
std::string MissingDisplay();

// Runs every pending window event once; returns false once the user has asked the program to close
// (the window manager's close request, or a quit request), at this call or any before.
bool PumpEvents();

} // namespace kl::platform
