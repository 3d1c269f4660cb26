// Textures from BMP and JPEG files: decoding, colour key, box-filtered mip chain and conversion to
// the texture's pixel format, then a managed texture on a device holding those bytes.
#pragma once

#include "platform/gfx/device.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kl::d3dx {

// Bounds on what we agree to decode; larger images are refused rather than allocated.
constexpr int kMaxImageSide = 16384;
constexpr std::int64_t kMaxImagePixels = std::int64_t{4096} * 4096;
constexpr std::size_t kMaxImageFileBytes = std::size_t{256} << 20;

struct TextureImage {
    int width = 0, height = 0;
    std::int32_t format = gfx::FmtUnknown;
    // Level 0 first; each level's pixels row after row, in the bytes of `format`, no padding.
    std::vector<std::vector<std::uint8_t>> levels;
};

// The pixel format a texture from a file gets: 21 for editing, else 25 with a colour key, else 23.
std::int32_t TextureFileFormat(std::uint32_t color_key, bool enable_edit);

// Decodes an image held in memory; on failure returns false with the reason in *error.
// color_key 0 means none; mip_levels 0 means a full chain down to 1x1.
bool DecodeTextureImage(const std::uint8_t* data, std::size_t size, std::uint32_t color_key,
                        std::uint32_t mip_levels, bool enable_edit, TextureImage* image, std::string* error);

// The same for a file; the name may use "\" and any letter case.
bool DecodeTextureFile(const std::string& file, std::uint32_t color_key, std::uint32_t mip_levels,
                       bool enable_edit, TextureImage* image, std::string* error);

// A managed texture of the file's size holding the decoded levels. Every failure (missing,
// truncated, corrupt or oversized file; a refusing device) gives a failing status and no texture.
platform::Status TextureFromFile(gfx::Device& device, const std::string& file, std::uint32_t color_key,
                                 std::uint32_t mip_levels, bool enable_edit, gfx::TexturePtr* texture);

} // namespace kl::d3dx
