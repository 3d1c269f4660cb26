// imginfo --png: the PNG it writes holds the pixels the file decodes to, alpha included.
#include "image_samples.h"
#include "platform/d3dx/image_decode.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace kl {
namespace {

TEST(Imginfo, PngOptionWritesTheDecodedPixels) {
    test::TempDir dir;
    std::vector<std::string> files;
    std::string command = std::string(KL_IMGINFO_EXE) + " --png " + (dir.path() / "out.png").string();
    const std::vector<samples::ImageSample> all = samples::TgaSamples();
    const samples::ImageSample* picked[2] = {nullptr, nullptr};
    for (const auto& s : all)
        if (s.name == "rle-32bit-alpha.tga")
            picked[0] = &s;
        else if (s.name == "mapped-first-entry-10.tga")
            picked[1] = &s;
    ASSERT_TRUE(picked[0] && picked[1]);
    for (const auto* s : picked) {
        test::WriteBytes(dir.path() / s->name, s->bytes);
        command += " " + (dir.path() / s->name).string();
    }
    ASSERT_EQ(std::system((command + " > " + (dir.path() / "log").string()).c_str()), 0);
    for (int i = 0; i < 2; ++i) {
        const auto png = test::ReadBytes(dir.path() / ("out-" + std::to_string(i + 1) + ".png"));
        d3dx::DecodedImage got;
        std::string error;
        ASSERT_TRUE(d3dx::DecodePng(png.data(), png.size(), &got, &error)) << error;
        EXPECT_EQ(got.width, picked[i]->expected.width);
        EXPECT_EQ(got.rgba, picked[i]->expected.rgba) << picked[i]->name;
    }
}

} // namespace
} // namespace kl
