// Quantisation of painted pictures to bytes.
#include "image.h"

#include <cmath>
#include <stdexcept>

namespace kl::data {

Image::Image(int width, int height, Rgb fill) : width_(width), height_(height) {
    if (width <= 0 || height <= 0) throw std::invalid_argument("image size must be positive");
    pixels_.assign(static_cast<std::size_t>(width) * height, fill);
}

std::vector<std::uint8_t> Image::rgb_bytes() const {
    std::vector<std::uint8_t> out;
    out.reserve(pixels_.size() * 3);
    auto byte = [](float v) {
        return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
    };
    for (const Rgb& p : pixels_) {
        out.push_back(byte(p.r));
        out.push_back(byte(p.g));
        out.push_back(byte(p.b));
    }
    return out;
}

} // namespace kl::data
