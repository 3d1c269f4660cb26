// Translation of SDL scancodes (physical key positions, USB usage numbers) into key codes (PC scan
// code set 1, extended keys + 128). Physical positions, not key symbols, so that the layout the
// program applies itself sees the key the user actually pressed.
#pragma once

#include <cstdint>

namespace kl::platform {

// 0 for scancodes that have no key code.
std::uint8_t KeyCodeFromScancode(int sdl_scancode);

} // namespace kl::platform
