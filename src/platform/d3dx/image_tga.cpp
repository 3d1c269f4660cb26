// Our own TGA reader: true colour, grey and colour-mapped, plain or run-length encoded, in any of the
// four pixel orders. stb_image takes a colour map's first index for a byte count to skip, ignores
// right-to-left order and the 16-bit alpha bit, turns indices past the map into its first entry and
// pads cut files with zeros; a file has to be walked packet by packet to catch those anyway.
#include "platform/d3dx/image_decode.h"

namespace kl::d3dx {

namespace {

using detail::le16;

bool fail(std::string* error, const char* reason) {
    *error = reason;
    return false;
}

// One stored value (a pixel, or a colour-map entry) as 0xAABBGGRR.
std::uint32_t colour(const std::uint8_t* p, int bits, bool grey, bool alpha_bit) {
    if (grey)
        return bits == 16 ? std::uint32_t{p[1]} << 24 | p[0] * 0x010101u : 0xFF000000u | p[0] * 0x010101u;
    switch (bits) {
    case 15:
    case 16: {
        const std::uint32_t v = le16(p);
        const std::uint32_t a = (bits == 16 && alpha_bit) ? ((v & 0x8000) ? 255 : 0) : 255;
        return a << 24 | std::uint32_t{detail::widen(v & 31, 5)} << 16 |
               std::uint32_t{detail::widen((v >> 5) & 31, 5)} << 8 | detail::widen((v >> 10) & 31, 5);
    }
    case 24:
        return 0xFF000000u | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
    default:
        return std::uint32_t{p[3]} << 24 | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
    }
}

struct Tga {
    int type = 0; // 1 colour-mapped, 2 true colour, 3 grey
    bool rle = false, right_to_left = false, top_down = false, alpha_bit = false, has_alpha = false;
    int bits = 0;
    std::size_t width = 0, height = 0, first = 0;
    std::uint32_t map_first = 0;
    std::vector<std::uint32_t> map;
};

bool read_header(const std::uint8_t* d, std::size_t n, Tga* t, std::string* error) {
    if (n < 18) return fail(error, "truncated header");
    const int map_type = d[1];
    t->type = d[2] & 7;
    t->rle = (d[2] & 8) != 0;
    t->map_first = le16(d + 3);
    const std::size_t map_length = le16(d + 5);
    const int map_bits = d[7];
    t->bits = d[16];
    t->alpha_bit = (d[17] & 15) != 0;
    t->right_to_left = (d[17] & 0x10) != 0;
    t->top_down = (d[17] & 0x20) != 0;
    if (map_type > 1 || t->type < 1 || t->type > 3 || (d[2] & ~11) != 0)
        return fail(error, "unknown image type");
    if (map_type == 1 && map_bits != 15 && map_bits != 16 && map_bits != 24 && map_bits != 32)
        return fail(error, "bad colour map entry size");
    const bool bits_ok = t->type == 1   ? (t->bits == 8 || t->bits == 16)
                         : t->type == 2 ? (t->bits == 15 || t->bits == 16 || t->bits == 24 || t->bits == 32)
                                        : (t->bits == 8 || t->bits == 16);
    if (!bits_ok) return fail(error, "bad bit count");
    if (t->type == 1 && (map_type != 1 || map_length == 0)) return fail(error, "missing colour map");
    t->width = le16(d + 12);
    t->height = le16(d + 14);
    if (!detail::image_size_ok(static_cast<std::int64_t>(t->width), static_cast<std::int64_t>(t->height),
                               error))
        return false;
    const std::size_t entry = map_type == 1 ? (static_cast<std::size_t>(map_bits) + 7) / 8 : 0;
    const std::size_t map_at = 18 + std::size_t{d[0]};
    t->first = map_at + map_length * entry;
    if (t->first > n) return fail(error, "truncated colour map");
    if (t->type == 1) {
        t->map.resize(map_length);
        for (std::size_t i = 0; i < map_length; ++i)
            t->map[i] = colour(d + map_at + i * entry, map_bits, false, t->alpha_bit);
        t->has_alpha = map_bits == 32 || (map_bits == 16 && t->alpha_bit);
    } else {
        t->has_alpha = t->bits == 32 || t->bits == 16; // grey + alpha, or 5-5-5 with its alpha bit
    }
    return true;
}

} // namespace

bool DecodeTga(const std::uint8_t* data, std::size_t size, DecodedImage* image, std::string* error) {
    Tga t;
    if (!read_header(data, size, &t, error)) return false;
    const std::size_t bytes = (static_cast<std::size_t>(t.bits) + 7) / 8, total = t.width * t.height;
    // The fewest bytes the pixels can take (a packet holds at most 128), checked before allocating.
    const std::size_t least = t.rle ? (total + 127) / 128 * (1 + bytes) : total * bytes;
    if (t.first + least > size) return fail(error, "truncated pixel data");
    std::vector<std::uint8_t> rgba(total * 4);
    bool any_alpha = false;
    // Stored pixel k goes to its place in a top-down, left-to-right picture.
    auto store = [&](std::size_t k, const std::uint8_t* p) {
        std::uint32_t c = 0;
        if (t.type == 1) {
            const std::uint32_t index = t.bits == 8 ? p[0] : le16(p);
            if (index < t.map_first || index - t.map_first >= t.map.size())
                return fail(error, "colour index past the colour map");
            c = t.map[index - t.map_first];
        } else {
            c = colour(p, t.bits, t.type == 3, t.alpha_bit);
        }
        any_alpha |= (c >> 24) != 0;
        const std::size_t row = k / t.width, col = k % t.width;
        const std::size_t y = t.top_down ? row : t.height - 1 - row,
                          x = t.right_to_left ? t.width - 1 - col : col;
        std::uint8_t* o = rgba.data() + (y * t.width + x) * 4;
        for (int i = 0; i < 4; ++i)
            o[i] = static_cast<std::uint8_t>(c >> (8 * i));
        return true;
    };
    std::size_t p = t.first;
    for (std::size_t k = 0; k < total;) {
        std::size_t count = 1;
        bool repeat = false;
        if (t.rle) {
            if (p >= size) return fail(error, "truncated pixel data");
            repeat = (data[p] & 0x80) != 0;
            count = (data[p] & 0x7Fu) + 1;
            ++p;
            if (k + count > total) return fail(error, "RLE packet past the image");
        }
        const std::size_t stored = repeat ? 1 : count;
        if (p + stored * bytes > size) return fail(error, "truncated pixel data");
        for (std::size_t i = 0; i < count; ++i)
            if (!store(k + i, data + p + (repeat ? 0 : i * bytes))) return false;
        p += stored * bytes;
        k += count;
    }
    if (t.has_alpha && !any_alpha) // an alpha channel left all zero by its writer: the image is opaque
        for (std::size_t i = 3; i < rgba.size(); i += 4)
            rgba[i] = 255;
    image->width = static_cast<int>(t.width);
    image->height = static_cast<int>(t.height);
    image->rgba = std::move(rgba);
    return true;
}

} // namespace kl::d3dx
