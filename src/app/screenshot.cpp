// Reads the current engine's back buffer through the OpenGL back-end.
#include "app/screenshot.h"

#include "engine/cls3d_engine.h"
#include "platform/gfx/gl/gl_backend.h"

#include <cstdint>
#include <stb_image_write.h>
#include <vector>

namespace kl {

std::string SaveScreenshot(const std::filesystem::path& file, int width, int height) {
    gfx::Device* device = CurrentDevice();
    if (device == nullptr) return "no device to read from";
    const std::vector<std::uint32_t> argb = gfx::ReadBackBuffer(*device, 0, 0, width, height);
    if (argb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return "the back buffer could not be read";
    std::vector<std::uint8_t> rgb(argb.size() * 3);
    for (std::size_t i = 0; i < argb.size(); ++i) {
        rgb[3 * i] = static_cast<std::uint8_t>(argb[i] >> 16);
        rgb[3 * i + 1] = static_cast<std::uint8_t>(argb[i] >> 8);
        rgb[3 * i + 2] = static_cast<std::uint8_t>(argb[i]);
    }
    if (stbi_write_png(file.c_str(), width, height, 3, rgb.data(), width * 3) == 0)
        return "cannot write " + file.string();
    return {};
}

} // namespace kl
