// A painted picture: floating-point RGB pixels, row 0 at the top, quantised to 8-bit bytes on output.
#pragma once

#include "colour.h"

#include <cstdint>
#include <vector>

namespace kl::data {

class Image {
  public:
    Image(int width, int height, Rgb fill = {});

    int width() const { return width_; }
    int height() const { return height_; }
    Rgb& at(int x, int y) { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }
    const Rgb& at(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }

    // Three bytes per pixel in R, G, B order, rows top to bottom, each channel clamped and rounded.
    std::vector<std::uint8_t> rgb_bytes() const;

  private:
    int width_;
    int height_;
    std::vector<Rgb> pixels_;
};

} // namespace kl::data
