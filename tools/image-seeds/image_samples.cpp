// What every format's samples share: channel widening and the palette colours.
#include "image_samples.h"

namespace kl::samples {

std::uint8_t Widen(std::uint32_t value, int bits) {
    const std::uint64_t max = (std::uint64_t{1} << bits) - 1;
    return static_cast<std::uint8_t>((value * std::uint64_t{255} + max / 2) / max);
}

std::uint32_t PaletteColour(int index) {
    const auto i = static_cast<std::uint32_t>(index);
    return ((i * 67 + 20) & 0xFF) << 16 | ((i * 151 + 90) & 0xFF) << 8 | ((i * 29 + 200) & 0xFF);
}

std::vector<std::uint32_t> Palette(int n) {
    std::vector<std::uint32_t> p;
    for (int i = 0; i < n; ++i)
        p.push_back(PaletteColour(i));
    return p;
}

ImageSample Damaged(const std::string& name, const std::string& format, std::vector<std::uint8_t> bytes,
                    std::string reason) {
    const std::string extension = format == "jpeg" ? ".jpg" : "." + format;
    return {name + extension, format, std::move(bytes), {}, 0, std::move(reason)};
}

std::vector<ImageSample> AllSamples() {
    std::vector<ImageSample> all;
    for (auto* make : {BmpSamples, PngSamples, TgaSamples, JpegSamples})
        for (auto& s : make())
            all.push_back(std::move(s));
    return all;
}

} // namespace kl::samples
