// Baseline JPEG (and PNG, for the desktop icon) through stb_image_write, kept in memory so the caller decides
// where it goes.
#pragma once

#include "image.h"

#include <cstdint>
#include <vector>

namespace kl::data {

// quality 1..100; the encoder is deterministic, so the same image always gives the same bytes.
std::vector<std::uint8_t> encode_jpeg(const Image& image, int quality);
std::vector<std::uint8_t> encode_png(const Image& image);

} // namespace kl::data
