// Small BMP and JPEG files made in memory for tests, through stb_image_write.
#pragma once

#include <cstdint>
#include <stb_image_write.h>
#include <vector>

namespace kl::test {

namespace detail {
inline void append(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}
} // namespace detail

// pixels: width * height * channels bytes (RGB or RGBA), rows from the top.
inline std::vector<std::uint8_t> EncodeBmp(int width, int height, int channels,
                                           const std::vector<std::uint8_t>& pixels) {
    std::vector<std::uint8_t> out;
    stbi_write_bmp_to_func(detail::append, &out, width, height, channels, pixels.data());
    return out;
}

inline std::vector<std::uint8_t> EncodeJpeg(int width, int height, const std::vector<std::uint8_t>& rgb,
                                            int quality) {
    std::vector<std::uint8_t> out;
    stbi_write_jpg_to_func(detail::append, &out, width, height, 3, rgb.data(), quality);
    return out;
}

} // namespace kl::test
