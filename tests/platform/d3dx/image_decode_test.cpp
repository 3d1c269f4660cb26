// The image readers, format by format: every variant of our sample files decodes to the pixels it
// holds, every damaged one is refused with its reason.
#include "image_samples.h"
#include "platform/d3dx/image_decode.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace kl::d3dx {
namespace {

using samples::ImageSample;

// The first pixel that differs by more than the sample's tolerance, as "x,y: got ... want ...".
std::string first_difference(const ImageSample& s, const DecodedImage& got) {
    for (std::size_t i = 0; i < got.rgba.size(); ++i)
        if (std::abs(got.rgba[i] - s.expected.rgba[i]) > s.tolerance) {
            const std::size_t px = i / 4, at = px * 4;
            auto rgba = [&](const std::vector<std::uint8_t>& v) {
                return std::to_string(v[at]) + "," + std::to_string(v[at + 1]) + "," +
                       std::to_string(v[at + 2]) + "," + std::to_string(v[at + 3]);
            };
            return std::to_string(px % static_cast<std::size_t>(got.width)) + "," +
                   std::to_string(px / static_cast<std::size_t>(got.width)) + ": got " + rgba(got.rgba) +
                   " want " + rgba(s.expected.rgba);
        }
    return {};
}

void check_variants(const std::vector<ImageSample>& all) {
    int valid = 0;
    for (const auto& s : all) {
        if (s.expected.rgba.empty()) continue;
        ++valid;
        DecodedImage got;
        std::string error;
        ASSERT_TRUE(DecodeImage(s.bytes.data(), s.bytes.size(), &got, &error)) << s.name << ": " << error;
        ASSERT_EQ(got.width, s.expected.width) << s.name;
        ASSERT_EQ(got.height, s.expected.height) << s.name;
        ASSERT_EQ(got.rgba.size(), s.expected.rgba.size()) << s.name;
        EXPECT_EQ(first_difference(s, got), "") << s.name;
    }
    EXPECT_GT(valid, 0);
}

void check_damaged(const std::vector<ImageSample>& all) {
    int damaged = 0;
    for (const auto& s : all) {
        if (!s.expected.rgba.empty()) continue;
        ++damaged;
        DecodedImage got;
        std::string error;
        EXPECT_FALSE(DecodeImage(s.bytes.data(), s.bytes.size(), &got, &error)) << s.name;
        EXPECT_FALSE(error.empty()) << s.name;
        EXPECT_NE(error.find(s.reason), std::string::npos) << s.name << ": " << error;
        EXPECT_TRUE(got.rgba.empty()) << s.name;
    }
    EXPECT_GT(damaged, 0);
}

TEST(ImageBmp, EveryVariantDecodesToItsPixels) {
    check_variants(samples::BmpSamples());
}

TEST(ImageBmp, DamagedFilesAreRefusedWithTheirReason) {
    check_damaged(samples::BmpSamples());
}

TEST(ImagePng, EveryVariantDecodesToItsPixels) {
    check_variants(samples::PngSamples());
}

TEST(ImagePng, DamagedFilesAreRefusedWithTheirReason) {
    check_damaged(samples::PngSamples());
}

TEST(ImageTga, EveryVariantDecodesToItsPixels) {
    check_variants(samples::TgaSamples());
}

TEST(ImageTga, DamagedFilesAreRefusedWithTheirReason) {
    check_damaged(samples::TgaSamples());
}

TEST(ImageJpeg, EveryVariantDecodesNearItsPixels) {
    check_variants(samples::JpegSamples());
}

TEST(ImageJpeg, DamagedFilesAreRefusedWithTheirReason) {
    check_damaged(samples::JpegSamples());
}

// Every file cut short is refused rather than filled with made-up pixels (a BMP's last row may lack
// its padding), and is never read past its end (the sanitizer build catches a stray read).
TEST(ImageFiles, EveryCutFileIsRefused) {
    for (const auto& s : samples::AllSamples()) {
        const std::size_t padding = s.format == "bmp" ? 3 : 0;
        for (std::size_t n = 0; n + padding < s.bytes.size(); ++n) {
            std::vector<std::uint8_t> cut(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(n));
            DecodedImage got;
            std::string error;
            EXPECT_FALSE(DecodeImage(cut.data(), cut.size(), &got, &error)) << s.name << " cut at " << n;
        }
    }
}

} // namespace
} // namespace kl::d3dx
