// Turning the requested display settings into a running device with keyboard and mouse: adapter
// check, mode choice, input, then the display switch.
#pragma once

#include "engine/records.h"
#include "platform/os/window_handle.h"

#include <cstdint>
#include <vector>

namespace kl::mdlKl {

// 0 no usable adapter (or any other failure), 1 no keyboard or mouse, 2 the display mode could not
// be set, 3 display and input are up. Writes the mode actually chosen into Settings.
std::int32_t BringUpDisplay(std::int32_t Width, std::int32_t Height, std::int32_t Format,
                            std::int32_t AntiAlias, platform::WindowHandle hWnd, bool windowed = false);

// The records BringUpDisplay keeps.
inline EngineCaps DeviceCaps;
inline std::vector<DisplayMode> ModeList;

} // namespace kl::mdlKl
