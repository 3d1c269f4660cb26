// PNG writing through stb_image_write.
#include "platform/d3dx/image_save.h"

#include <stb_image_write.h>

namespace kl::d3dx {

std::string SaveArgbAsPng(const std::filesystem::path& file, int width, int height,
                          const std::vector<std::uint32_t>& argb) {
    if (width <= 0 || height <= 0 ||
        argb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return "no pixels to write";
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

} // namespace kl::d3dx
