// Writes the two bitmap headers and the pixel rows byte by byte, little-endian.
#include "bmp_writer.h"

namespace kl::data {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

} // namespace

std::vector<std::uint8_t> encode_bmp(const Image& image) {
    const auto width = static_cast<std::uint32_t>(image.width());
    const auto height = static_cast<std::uint32_t>(image.height());
    const std::uint32_t row_bytes = (width * 3 + 3) / 4 * 4;
    const std::uint32_t pixel_bytes = row_bytes * height;
    constexpr std::uint32_t kHeaders = 14 + 40;

    std::vector<std::uint8_t> out;
    out.reserve(kHeaders + pixel_bytes);
    out.push_back('B');
    out.push_back('M');
    put32(out, kHeaders + pixel_bytes); // file size
    put32(out, 0);                      // reserved
    put32(out, kHeaders);               // offset of the pixels
    put32(out, 40);                     // info header size
    put32(out, width);
    put32(out, height); // positive: rows stored bottom-up
    put16(out, 1);      // planes
    put16(out, 24);     // bits per pixel
    put32(out, 0);      // no compression
    put32(out, pixel_bytes);
    put32(out, 2835); // 72 dpi, in pixels per metre
    put32(out, 2835);
    put32(out, 0); // no palette
    put32(out, 0);

    const std::vector<std::uint8_t> rgb = image.rgb_bytes();
    for (std::uint32_t row = 0; row < height; ++row) {
        const std::size_t src = static_cast<std::size_t>(height - 1 - row) * width * 3;
        for (std::uint32_t x = 0; x < width; ++x) {
            out.push_back(rgb[src + x * 3 + 2]);
            out.push_back(rgb[src + x * 3 + 1]);
            out.push_back(rgb[src + x * 3 + 0]);
        }
        for (std::uint32_t pad = width * 3; pad < row_bytes; ++pad)
            out.push_back(0);
    }
    return out;
}

} // namespace kl::data
