// Small image files of every variant a reader should take (and damaged ones it should refuse), each
// with the pixels it holds, made byte by byte here so that tests and fuzz seeds need no outside file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kl::samples {

// An RGBA picture, rows from the top: what a file's decode must give.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;

    Picture() = default;
    Picture(int w, int h) : width(w), height(h), rgba(static_cast<std::size_t>(w * h) * 4, 0) {}
    void set(int x, int y, std::uint32_t rgb, std::uint8_t alpha = 255) {
        std::uint8_t* p = rgba.data() + static_cast<std::size_t>(y * width + x) * 4;
        p[0] = static_cast<std::uint8_t>(rgb >> 16), p[1] = static_cast<std::uint8_t>(rgb >> 8);
        p[2] = static_cast<std::uint8_t>(rgb), p[3] = alpha;
    }
};

struct ImageSample {
    std::string name;   // a file name, its extension naming the format
    std::string format; // "bmp", "png", "tga" or "jpeg"
    std::vector<std::uint8_t> bytes;
    Picture expected;   // empty for a damaged file
    int tolerance = 0;  // largest difference per channel a lossy format may show
    std::string reason; // for a damaged file: the refusal the reader should give
};

// An n-bit channel value as an 8-bit one, rounded.
std::uint8_t Widen(std::uint32_t value, int bits);
// A colour (0xRRGGBB) for palette entry 0..255, each one different; the first n of them.
std::uint32_t PaletteColour(int index);
std::vector<std::uint32_t> Palette(int n);

// A damaged file of a format ("bmp"...; the name gets the extension) and the refusal it should get.
ImageSample Damaged(const std::string& name, const std::string& format, std::vector<std::uint8_t> bytes,
                    std::string reason);

// A copy of a layout record with `change` applied, for variants of one layout.
template <class Layout, class Change> Layout With(Layout layout, Change change) {
    change(layout);
    return layout;
}

std::vector<ImageSample> BmpSamples();
std::vector<ImageSample> PngSamples();
std::vector<ImageSample> TgaSamples();
std::vector<ImageSample> JpegSamples();
std::vector<ImageSample> AllSamples();

} // namespace kl::samples
