// PNG through stb_image, with our own checks first: the decoder would fill a cut file with made-up
// pixels and give indices past the palette colours from uninitialised memory.
#include "platform/d3dx/image_decode.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <stb_image.h>

namespace kl::d3dx {

namespace {

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

void put_be32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

std::uint32_t crc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

bool fail(std::string* error, const char* reason) {
    *error = reason;
    return false;
}

bool stb_decode(const std::uint8_t* data, std::size_t size, DecodedImage* image, std::string* error) {
    if (size > static_cast<std::size_t>(INT_MAX)) return fail(error, "file too large");
    const int len = static_cast<int>(size);
    int w = 0, h = 0, channels = 0;
    // stb tries every format on a header it cannot read and names the last one's failure.
    if (!stbi_info_from_memory(data, len, &w, &h, &channels)) return fail(error, "bad image header");
    if (!detail::image_size_ok(w, h, error)) return false;
    stbi_uc* rgba = stbi_load_from_memory(data, len, &w, &h, &channels, 4);
    if (rgba == nullptr)
        return fail(error, stbi_failure_reason() ? stbi_failure_reason() : "unreadable image");
    image->width = w;
    image->height = h;
    image->rgba.assign(rgba, rgba + static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
    stbi_image_free(rgba);
    return true;
}

bool depth_ok(int colour_type, int depth) {
    switch (colour_type) {
    case 0:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

struct PngChunks {
    std::size_t palette_at = 0, palette_length = 0; // the PLTE chunk's data
    int colour_type = -1;
};

// Every chunk must lie inside the file, from IHDR to IEND.
bool png_chunks(const std::uint8_t* d, std::size_t n, PngChunks* c, std::string* error) {
    if (n < 8 || std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) != 0) return fail(error, "not a PNG image");
    std::size_t p = 8;
    for (bool first = true;; first = false) {
        if (n - p < 12) return fail(error, "truncated image data");
        const std::uint32_t length = be32(d + p);
        if (length > n - p - 12) return fail(error, "truncated image data");
        const std::uint8_t* type = d + p + 4;
        if (first) {
            if (std::memcmp(type, "IHDR", 4) != 0 || length != 13) return fail(error, "missing image header");
            const std::int64_t w = be32(d + p + 8), h = be32(d + p + 12);
            if (!detail::image_size_ok(w, h, error)) return false;
            c->colour_type = d[p + 17];
            if (!depth_ok(c->colour_type, d[p + 16])) return fail(error, "bad bit depth for the colour type");
        }
        if (std::memcmp(type, "PLTE", 4) == 0) {
            c->palette_at = p + 8;
            c->palette_length = length;
        }
        if (std::memcmp(type, "IEND", 4) == 0) return true;
        p += 12 + length;
    }
}

// stb_image keeps a 256-entry palette on the stack without clearing it. A copy of the file whose
// palette is filled up with one colour it does not hold shows every index past the palette.
bool decode_palette_png(const std::uint8_t* d, std::size_t n, const PngChunks& c, DecodedImage* image,
                        std::string* error) {
    const std::size_t entries = c.palette_length / 3;
    if (c.palette_at == 0 || entries == 0 || entries >= 256 || c.palette_length % 3 != 0)
        return stb_decode(d, n, image, error);
    std::uint32_t filler = 0;
    auto held = [&](std::uint32_t rgb) {
        for (std::size_t i = 0; i < entries; ++i)
            if ((be32(d + c.palette_at + 3 * i) >> 8) == rgb) return true;
        return false;
    };
    while (held(filler))
        ++filler;
    const std::size_t added = (256 - entries) * 3;
    std::vector<std::uint8_t> copy(d, d + c.palette_at + c.palette_length);
    for (std::size_t i = 0; i < 256 - entries; ++i)
        copy.insert(copy.end(), {static_cast<std::uint8_t>(filler >> 16),
                                 static_cast<std::uint8_t>(filler >> 8), static_cast<std::uint8_t>(filler)});
    put_be32(copy.data() + c.palette_at - 8, static_cast<std::uint32_t>(c.palette_length + added));
    copy.resize(copy.size() + 4);
    put_be32(copy.data() + copy.size() - 4,
             crc32(copy.data() + c.palette_at - 4, c.palette_length + added + 4));
    copy.insert(copy.end(), d + c.palette_at + c.palette_length + 4, d + n);
    DecodedImage decoded;
    if (!stb_decode(copy.data(), copy.size(), &decoded, error)) return false;
    for (std::size_t i = 0; i < decoded.rgba.size(); i += 4) {
        const std::uint8_t* px = decoded.rgba.data() + i;
        if (px[3] == 255 && (std::uint32_t{px[0]} << 16 | std::uint32_t{px[1]} << 8 | px[2]) == filler)
            return fail(error, "palette index past the palette");
    }
    *image = std::move(decoded);
    return true;
}

} // namespace

bool DecodePng(const std::uint8_t* data, std::size_t size, DecodedImage* image, std::string* error) {
    PngChunks chunks;
    if (!png_chunks(data, size, &chunks, error)) return false;
    if (chunks.colour_type == 3) return decode_palette_png(data, size, chunks, image, error);
    return stb_decode(data, size, image, error);
}

} // namespace kl::d3dx
