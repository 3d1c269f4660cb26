// Tells the image formats apart by their first bytes. TGA has no signature, so it is the format of a
// file whose header reads as one after the others have been ruled out.
#include "platform/d3dx/image_decode.h"

#include <cstring>

namespace kl::d3dx {

namespace detail {

bool image_size_ok(std::int64_t width, std::int64_t height, std::string* error) {
    if (width <= 0 || height <= 0) {
        *error = "bad size";
        return false;
    }
    if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels) {
        *error = "image too large";
        return false;
    }
    return true;
}

} // namespace detail

namespace {

bool starts_with(const std::uint8_t* d, std::size_t n, const char* magic, std::size_t len) {
    return n >= len && std::memcmp(d, magic, len) == 0;
}

bool looks_like_tga(const std::uint8_t* d, std::size_t n) {
    if (n < 18 || d[1] > 1) return false;
    switch (d[2]) {
    case 1:
    case 2:
    case 3:
    case 9:
    case 10:
    case 11:
        return true;
    default:
        return false;
    }
}

} // namespace

bool DecodeImage(const std::uint8_t* data, std::size_t size, DecodedImage* image, std::string* error) {
    if (data == nullptr || size == 0) {
        *error = "empty file";
        return false;
    }
    if (size > kMaxImageFileBytes) {
        *error = "file too large";
        return false;
    }
    if (starts_with(data, size, "BM", 2)) return DecodeBmp(data, size, image, error);
    if (starts_with(data, size, "\x89PNG\r\n\x1a\n", 8)) return DecodePng(data, size, image, error);
    if (starts_with(data, size, "\xff\xd8\xff", 3)) return DecodeJpeg(data, size, image, error);
    if (looks_like_tga(data, size)) return DecodeTga(data, size, image, error);
    *error = "not a BMP, PNG, TGA or JPEG image";
    return false;
}

} // namespace kl::d3dx
