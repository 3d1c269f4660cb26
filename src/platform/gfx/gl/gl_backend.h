// The OpenGL back-end's public entry points: its graphics system, the window it draws into and a
// back-buffer read for render tests and screenshots.
#pragma once

#include "platform/gfx/graphics_system.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kl::gfx {

// Adapters are SDL displays. Initialises SDL's video part; nullptr when there is no display at all.
std::unique_ptr<GraphicsSystem> CreateGlGraphicsSystem();

// A window a device can draw into (devices need windows made for OpenGL). Where the display has no
// OpenGL the window is made all the same, and no device can be made on it. Hidden windows are for
// tests and tools. nullptr on failure, with the cause in *error when given (no display, a display
// that cannot be reached).
platform::WindowHandle CreateRenderWindow(const char* caption, int width, int height, bool hidden,
                                          std::string* error = nullptr);
void DestroyRenderWindow(platform::WindowHandle window);

// The back buffer as it is before Present, rows from the top, each pixel 0xAARRGGBB. Empty when the
// device is not an OpenGL device or the rectangle is outside the back buffer.
std::vector<std::uint32_t> ReadBackBuffer(Device& device, int x, int y, int width, int height);

} // namespace kl::gfx
