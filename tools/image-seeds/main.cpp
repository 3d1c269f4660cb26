// image-seeds DIR: writes the small image files that seed the image fuzz targets, so that the corpora
// are made here rather than taken from anywhere: DIR/image (stb's writer, every format's reader behind
// one entry) and DIR/image_<format> (every variant and damaged file of a format).
#include "command_line.h"
#include "image_samples.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stb_image_write.h>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> pattern(int w, int h, int channels) {
    std::vector<std::uint8_t> px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                px.push_back(static_cast<std::uint8_t>(c == 3 ? (x * 255 / std::max(1, w - 1))
                                                              : (x * 37 + y * 91 + c * 53) & 0xFF));
    return px;
}

} // namespace

int main(int argc, char** argv) {
    int status = 0;
    const auto folder = kl::tools::OneFolderArgument(
        "image-seeds",
        "Usage: image-seeds [--] DIR\nWrites the seed images of the image fuzz targets into DIR/image*.\n",
        argc, argv, &status);
    if (!folder) return status;
    const std::string dir = *folder;
    std::filesystem::create_directories(dir + "/image");
    bool ok = true;
    auto bmp = [&](const char* name, int w, int h, int channels) {
        const auto px = pattern(w, h, channels);
        ok &= stbi_write_bmp((dir + "/image/" + name).c_str(), w, h, channels, px.data()) != 0;
    };
    auto jpg = [&](const char* name, int w, int h, int channels, int quality) {
        const auto px = pattern(w, h, channels);
        ok &= stbi_write_jpg((dir + "/image/" + name).c_str(), w, h, channels, px.data(), quality) != 0;
    };
    bmp("one-pixel.bmp", 1, 1, 3);
    bmp("rgb-5x3.bmp", 5, 3, 3);
    bmp("rgba-8x8.bmp", 8, 8, 4);
    bmp("rgb-16x4.bmp", 16, 4, 3);
    jpg("grey-8x8.jpg", 8, 8, 1, 75);
    jpg("rgb-9x7.jpg", 9, 7, 3, 90);
    jpg("rgb-16x16.jpg", 16, 16, 3, 50);
    auto write = [&](const std::string& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ok &= static_cast<bool>(out);
    };
    const auto all = kl::samples::AllSamples();
    for (const auto& sample : all) {
        const std::string sub = dir + "/image_" + sample.format;
        std::filesystem::create_directories(sub);
        write(sub + "/" + sample.name, sample.bytes);
    }
    // PNG and TGA beside stb's BMP and JPEG files, so that the whole path starts from every format.
    for (const char* name :
         {"rle8-runs-literals-delta.bmp", "palette-4bit-trns.png", "interlaced-rgba-8bit.png",
          "rle-mapped.tga", "32bit-alpha.tga", "progressive-rgb.jpg"})
        for (const auto& sample : all)
            if (sample.name == name) write(dir + "/image/" + name, sample.bytes);
    return ok ? 0 : 1;
}
