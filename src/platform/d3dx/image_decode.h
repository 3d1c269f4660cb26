// Image files decoded to 8-bit RGBA pixels: BMP, PNG, TGA and JPEG, told apart by their bytes. What
// textures from files are made of, and what imginfo shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kl::d3dx {

// Bounds on what we agree to decode; larger images are refused rather than allocated.
constexpr int kMaxImageSide = 16384;
constexpr std::int64_t kMaxImagePixels = std::int64_t{4096} * 4096;
constexpr std::size_t kMaxImageFileBytes = std::size_t{256} << 20;

struct DecodedImage {
    int width = 0, height = 0;
    // Red, green, blue, alpha per pixel, rows from the top.
    std::vector<std::uint8_t> rgba;
};

// Each reader refuses damaged bytes with the reason in *error and never reads outside [data, data + size).
bool DecodeImage(const std::uint8_t* data, std::size_t size, DecodedImage* image, std::string* error);
bool DecodeBmp(const std::uint8_t* data, std::size_t size, DecodedImage* image, std::string* error);
bool DecodePng(const std::uint8_t* data, std::size_t size, DecodedImage* image, std::string* error);
bool DecodeTga(const std::uint8_t* data, std::size_t size, DecodedImage* image, std::string* error);
bool DecodeJpeg(const std::uint8_t* data, std::size_t size, DecodedImage* image, std::string* error);

namespace detail {
// False with "bad size" or "image too large" unless width x height is a size we decode.
bool image_size_ok(std::int64_t width, std::int64_t height, std::string* error);
// Bytes of a little-endian file, read only after the caller has checked they are there.
inline std::uint32_t le16(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] | p[1] << 8);
}
inline std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}
// An n-bit channel value stretched to 0..255, rounded.
inline std::uint8_t widen(std::uint32_t v, int bits) {
    const std::uint64_t max = (std::uint64_t{1} << bits) - 1;
    return static_cast<std::uint8_t>((v * std::uint64_t{255} + max / 2) / max);
}
} // namespace detail

} // namespace kl::d3dx
