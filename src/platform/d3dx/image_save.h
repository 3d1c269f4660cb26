// Pixels into an image file: the one place above the image library where a picture is written, so
// that the layers above the platform need no image-library header.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kl::d3dx {

// Writes width x height pixels, row after row from the top, each 0xAARRGGBB, as an 8-bit RGB PNG
// (alpha dropped). Empty on success, else what went wrong.
std::string SaveArgbAsPng(const std::filesystem::path& file, int width, int height,
                          const std::vector<std::uint32_t>& argb);

} // namespace kl::d3dx
