// Turning the requested display settings into a running device with keyboard and mouse: adapter
// check, mode choice, input, then the display switch.
#pragma once

#include "engine/records.h"
#include "platform/os/window_handle.h"

#include <cstdint>
#include <vector>

namespace kl::mdlKl {

// 0 no usable adapter (or any other failure), 1 no keyboard or mouse, 2 the display mode could not
// be set, 3 display and input are up. Writes the mode actually chosen into the program's Settings,
// and what it found into its DeviceCaps and ModeList.
std::int32_t BringUpDisplay(std::int32_t Width, std::int32_t Height, std::int32_t Format,
                            std::int32_t AntiAlias, platform::WindowHandle hWnd, bool windowed = false);

} // namespace kl::mdlKl
