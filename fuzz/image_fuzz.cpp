// Fuzz target for the image decoding behind textures from files: any bytes must give an image or an
// error, never a crash, a hang or a huge allocation. Built once per reader (KL_IMAGE_READER names
// it, so that mutations stay inside one format) and once through the whole path, format detection
// included.
#include "platform/d3dx/texture_from_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

#ifndef KL_IMAGE_READER
#define KL_IMAGE_READER DecodeImage
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kl::d3dx::DecodedImage decoded;
    std::string error;
    if (size == 0 || !kl::d3dx::KL_IMAGE_READER(data, size, &decoded, &error)) return 0;
    // A few bytes of run-length data can make a 4096 x 4096 image; its mip chain would take the
    // fuzzer's time without reaching any code that small images do not.
    if (std::int64_t{decoded.width} * decoded.height > 256 * 256) return 0;
    // The last byte picks the options, so the key, mip and format paths are all reached.
    const std::uint8_t options = data[size - 1];
    const std::uint32_t key = (options & 1) ? 0xFF000000u : 0u;
    const bool edit = (options & 2) != 0;
    const std::uint32_t mips = (options >> 2) & 3;
    kl::d3dx::TextureImage image;
    kl::d3dx::MakeTextureImage(decoded, key, mips, edit, &image);
    return 0;
}
