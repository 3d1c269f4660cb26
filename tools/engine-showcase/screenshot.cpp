// The last frame of the showcase as a PNG file, through stb_image_write.
#include "screenshot.h"

#include <stb/stb_image_write.h>

namespace kl::showcase {

bool WritePng(const std::string& file, int width, int height, const std::vector<std::uint32_t>& pixels) {
    if (width <= 0 || height <= 0 ||
        pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return false;
    std::vector<std::uint8_t> rgb;
    rgb.reserve(pixels.size() * 3);
    for (std::uint32_t p : pixels)
        rgb.insert(rgb.end(), {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
                               static_cast<std::uint8_t>(p)});
    return stbi_write_png(file.c_str(), width, height, 3, rgb.data(), width * 3) != 0;
}

} // namespace kl::showcase
