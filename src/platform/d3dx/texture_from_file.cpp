// Textures from decoded images: the colour key, the mip chain and the texture's pixel format.
#include "platform/d3dx/texture_from_file.h"

#include "platform/gfx/memory_resources.h"
#include "platform/os/data_file_report.h"
#include "platform/os/files.h"

#include <algorithm>
#include <cstring>

namespace kl::d3dx {

namespace {

using gfx::Dword;

void box_filter(const std::vector<std::uint32_t>& src, int sw, int sh, std::vector<std::uint32_t>* dst,
                int dw, int dh) {
    dst->assign(static_cast<std::size_t>(dw) * static_cast<std::size_t>(dh), 0);
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) {
            const int x0 = std::min(2 * x, sw - 1), x1 = std::min(2 * x + 1, sw - 1);
            const int y0 = std::min(2 * y, sh - 1), y1 = std::min(2 * y + 1, sh - 1);
            const std::uint32_t p[4] = {
                src[static_cast<std::size_t>(y0 * sw + x0)], src[static_cast<std::size_t>(y0 * sw + x1)],
                src[static_cast<std::size_t>(y1 * sw + x0)], src[static_cast<std::size_t>(y1 * sw + x1)]};
            std::uint32_t out = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                std::uint32_t sum = 0;
                for (std::uint32_t v : p)
                    sum += (v >> shift) & 0xFF;
                out |= ((sum + 2) / 4) << shift;
            }
            (*dst)[static_cast<std::size_t>(y * dw + x)] = out;
        }
}

std::uint32_t scale(std::uint32_t v, std::uint32_t max) {
    return (v * max + 127) / 255;
}

void convert(const std::vector<std::uint32_t>& argb, std::int32_t format, std::vector<std::uint8_t>* out) {
    const int bpp = gfx::BytesPerPixel(format);
    out->resize(argb.size() * static_cast<std::size_t>(bpp));
    std::uint8_t* o = out->data();
    for (std::uint32_t p : argb) {
        const std::uint32_t a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        if (format == gfx::FmtA8R8G8B8) {
            std::memcpy(o, &p, 4); // little-endian: blue, green, red, alpha
            o += 4;
            continue;
        }
        std::uint16_t v = 0;
        if (format == gfx::FmtA1R5G5B5)
            v = static_cast<std::uint16_t>((a >= 128 ? 0x8000 : 0) | scale(r, 31) << 10 | scale(g, 31) << 5 |
                                           scale(b, 31));
        else
            v = static_cast<std::uint16_t>(scale(r, 31) << 11 | scale(g, 63) << 5 | scale(b, 31));
        std::memcpy(o, &v, 2);
        o += 2;
    }
}

} // namespace

std::int32_t TextureFileFormat(std::uint32_t color_key, bool enable_edit) {
    if (enable_edit) return gfx::FmtA8R8G8B8;
    return color_key != 0 ? gfx::FmtA1R5G5B5 : gfx::FmtR5G6B5;
}

void MakeTextureImage(const DecodedImage& decoded, std::uint32_t color_key, std::uint32_t mip_levels,
                      bool enable_edit, TextureImage* image) {
    const int w = decoded.width, h = decoded.height;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    std::vector<std::uint32_t> level(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = decoded.rgba.data() + i * 4;
        std::uint32_t argb =
            std::uint32_t{p[3]} << 24 | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
        // The key is compared with alpha included, so an opaque key names an opaque colour.
        if (color_key != 0 && argb == color_key) argb = 0;
        level[i] = argb;
    }
    const Dword full = gfx::FullChainLevels(static_cast<Dword>(w), static_cast<Dword>(h));
    const Dword levels = (mip_levels == 0 || mip_levels > full) ? full : mip_levels;
    image->width = w;
    image->height = h;
    image->format = TextureFileFormat(color_key, enable_edit);
    image->levels.assign(levels, {});
    int lw = w, lh = h;
    for (Dword i = 0; i < levels; ++i) {
        if (i > 0) {
            const int nw = std::max(1, lw / 2), nh = std::max(1, lh / 2);
            std::vector<std::uint32_t> next;
            box_filter(level, lw, lh, &next, nw, nh);
            level.swap(next);
            lw = nw;
            lh = nh;
        }
        convert(level, image->format, &image->levels[i]);
    }
}

bool DecodeTextureImage(const std::uint8_t* data, std::size_t size, std::uint32_t color_key,
                        std::uint32_t mip_levels, bool enable_edit, TextureImage* image, std::string* error) {
    std::string ignored;
    DecodedImage decoded;
    if (!DecodeImage(data, size, &decoded, error != nullptr ? error : &ignored)) return false;
    MakeTextureImage(decoded, color_key, mip_levels, enable_edit, image);
    return true;
}

bool ReadImageFile(const std::string& file, DecodedImage* image, std::string* error) {
    const bool absolute = !file.empty() && (file[0] == '/' || file[0] == '\\');
    const std::filesystem::path path = platform::ResolvePath(absolute ? "/" : ".", file);
    if (!platform::FileExists(path)) {
        *error = "file not found";
        return false;
    }
    const auto bytes = platform::ReadFileBytes(path, kMaxImageFileBytes + 1);
    if (!bytes) {
        *error = "cannot read file";
        return false;
    }
    return DecodeImage(bytes->data(), bytes->size(), image, error);
}

bool DecodeTextureFile(const std::string& file, std::uint32_t color_key, std::uint32_t mip_levels,
                       bool enable_edit, TextureImage* image, std::string* error) {
    std::string ignored;
    DecodedImage decoded;
    if (!ReadImageFile(file, &decoded, error != nullptr ? error : &ignored)) return false;
    MakeTextureImage(decoded, color_key, mip_levels, enable_edit, image);
    return true;
}

platform::Status TextureFromFile(gfx::Device& device, const std::string& file, std::uint32_t color_key,
                                 std::uint32_t mip_levels, bool enable_edit, gfx::TexturePtr* texture) {
    if (texture == nullptr) return platform::Status::InvalidCall;
    texture->reset();
    TextureImage image;
    std::string reason;
    if (!DecodeTextureFile(file, color_key, mip_levels, enable_edit, &image, &reason)) {
        platform::ReportUnloadableFile(file, reason);
        return platform::Status::NotFound;
    }
    gfx::TexturePtr made;
    const platform::Status s = device.CreateTexture(
        static_cast<Dword>(image.width), static_cast<Dword>(image.height),
        static_cast<Dword>(image.levels.size()), 0, image.format, gfx::PoolManaged, &made);
    if (s != platform::Status::Ok) return s;
    if (made->GetLevelCount() != image.levels.size()) return platform::Status::InvalidCall;
    const auto bpp = static_cast<std::size_t>(gfx::BytesPerPixel(image.format));
    for (Dword i = 0; i < made->GetLevelCount(); ++i) {
        gfx::SurfaceDesc desc;
        gfx::LockedRect lr;
        if (const auto d = made->GetLevelDesc(i, &desc); d != platform::Status::Ok) return d;
        const std::size_t row = desc.Width * bpp;
        if (row * desc.Height != image.levels[i].size()) return platform::Status::InvalidCall;
        if (const auto l = made->LockRect(i, &lr, nullptr, 0); l != platform::Status::Ok) return l;
        for (Dword y = 0; y < desc.Height; ++y)
            std::memcpy(static_cast<std::uint8_t*>(lr.pBits) +
                            std::size_t{y} * static_cast<std::size_t>(lr.Pitch),
                        image.levels[i].data() + y * row, row);
        if (const auto u = made->UnlockRect(i); u != platform::Status::Ok) return u;
    }
    *texture = std::move(made);
    return platform::Status::Ok;
}

} // namespace kl::d3dx
