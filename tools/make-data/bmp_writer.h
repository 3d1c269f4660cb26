// Uncompressed 24-bit Windows bitmaps, the format the program's .bmp textures are read in.
#pragma once

#include "image.h"

#include <cstdint>
#include <vector>

namespace kl::data {

// BITMAPFILEHEADER + BITMAPINFOHEADER (40 bytes), bottom-up rows in B, G, R order, each row padded
// to a multiple of four bytes.
std::vector<std::uint8_t> encode_bmp(const Image& image);

} // namespace kl::data
