// Reads the current engine's back buffer through the OpenGL back-end.
#include "app/screenshot.h"

#include "engine/cls3d_engine.h"
#include "platform/d3dx/image_save.h"
#include "platform/gfx/gl/gl_backend.h"

#include <cstdint>
#include <vector>

namespace kl {

std::string SaveScreenshot(const std::filesystem::path& file, int width, int height) {
    gfx::Device* device = CurrentDevice();
    if (device == nullptr) return "no device to read from";
    const std::vector<std::uint32_t> argb = gfx::ReadBackBuffer(*device, 0, 0, width, height);
    if (argb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return "the back buffer could not be read";
    return d3dx::SaveArgbAsPng(file, width, height, argb);
}

} // namespace kl
