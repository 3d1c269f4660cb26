// Baseline JPEG through stb_image_write, kept in memory so the caller decides where it goes.
#pragma once

#include "image.h"

#include <cstdint>
#include <vector>

namespace kl::data {

// quality 1..100; the encoder is deterministic, so the same image always gives the same bytes.
std::vector<std::uint8_t> encode_jpeg(const Image& image, int quality);

} // namespace kl::data
