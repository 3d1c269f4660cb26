// Fuzz target for the image decoding behind textures from files: any bytes must give an image or an
// error, never a crash, a hang or a huge allocation.
#include "platform/d3dx/texture_from_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kl::d3dx::TextureImage image;
    std::string error;
    // The last byte picks the options, so the key, mip and format paths are all reached.
    const std::uint8_t options = size > 0 ? data[size - 1] : 0;
    const std::uint32_t key = (options & 1) ? 0xFF000000u : 0u;
    const bool edit = (options & 2) != 0;
    const std::uint32_t mips = (options >> 2) & 3;
    kl::d3dx::DecodeTextureImage(data, size, key, mips, edit, &image, &error);
    return 0;
}
