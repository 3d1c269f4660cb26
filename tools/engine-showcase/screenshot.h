// The last frame of the showcase as a PNG file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kl::showcase {

// pixels: 0xAARRGGBB rows from the top, as the back buffer was read. False when writing failed.
bool WritePng(const std::string& file, int width, int height, const std::vector<std::uint32_t>& pixels);

} // namespace kl::showcase
