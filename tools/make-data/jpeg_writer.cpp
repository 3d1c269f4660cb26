// Adapts stb's callback writer to a byte vector. The stb implementation comes from Debian's libstb.
#include "jpeg_writer.h"

#include <stb/stb_image_write.h>
#include <stdexcept>

namespace kl::data {

namespace {

void append(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

} // namespace

std::vector<std::uint8_t> encode_jpeg(const Image& image, int quality) {
    const std::vector<std::uint8_t> rgb = image.rgb_bytes();
    std::vector<std::uint8_t> out;
    if (stbi_write_jpg_to_func(append, &out, image.width(), image.height(), 3, rgb.data(), quality) == 0)
        throw std::runtime_error("JPEG encoding failed");
    return out;
}

std::vector<std::uint8_t> encode_png(const Image& image) {
    const std::vector<std::uint8_t> rgb = image.rgb_bytes();
    std::vector<std::uint8_t> out;
    if (stbi_write_png_to_func(append, &out, image.width(), image.height(), 3, rgb.data(),
                               image.width() * 3) == 0)
        throw std::runtime_error("PNG encoding failed");
    return out;
}

} // namespace kl::data
