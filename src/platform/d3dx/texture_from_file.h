// Textures from image files (BMP, PNG, TGA, JPEG): colour key, box-filtered mip chain and conversion
// to the texture's pixel format, then a managed texture on a device holding those bytes.
#pragma once

#include "platform/d3dx/image_decode.h"
#include "platform/gfx/device.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kl::d3dx {

struct TextureImage {
    int width = 0, height = 0;
    std::int32_t format = gfx::FmtUnknown;
    // Level 0 first; each level's pixels row after row, in the bytes of `format`, no padding.
    std::vector<std::vector<std::uint8_t>> levels;
};

// The pixel format a texture from a file gets: 21 for editing, else 25 with a colour key, else 23.
std::int32_t TextureFileFormat(std::uint32_t color_key, bool enable_edit);

// The decoded pixels of an image file; the name may use "\" and any letter case.
bool ReadImageFile(const std::string& file, DecodedImage* image, std::string* error);

// The key applied, the mip chain built and every level converted to the texture's format.
// color_key 0 means none; mip_levels 0 means a full chain down to 1x1.
void MakeTextureImage(const DecodedImage& decoded, std::uint32_t color_key, std::uint32_t mip_levels,
                      bool enable_edit, TextureImage* image);

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
