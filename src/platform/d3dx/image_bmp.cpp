// Our own BMP reader. stb_image refuses run-length-encoded and some valid palette and top-down files,
// and SDL's reader turns indices past a compressed file's palette into colours; here every variant
// decodes and every damaged file is refused with its reason, each byte read only after a bounds check.
#include "platform/d3dx/image_decode.h"

#include <algorithm>
#include <bit>

namespace kl::d3dx {

namespace {

using detail::le16;
using detail::le32;

constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0, bits = 0;

    // A mask must be one run of bits inside the pixel.
    bool set(std::uint32_t m, std::uint32_t bpp) {
        mask = m;
        if (m == 0) return true;
        if (bpp < 32 && (m >> bpp) != 0) return false;
        shift = std::countr_zero(m);
        bits = std::popcount(m);
        return (std::uint64_t{m} >> shift) == (std::uint64_t{1} << bits) - 1;
    }
    std::uint8_t take(std::uint32_t px) const {
        return bits == 0 ? 0 : detail::widen((px & mask) >> shift, bits);
    }
};

struct Header {
    std::int64_t width = 0, height = 0;
    bool top_down = false;
    std::uint32_t bpp = 0, compression = kRgb, offset = 0;
    Channel r, g, b, a;
    std::vector<std::uint32_t> palette; // 0xAABBGGRR, the byte order of the output
};

bool fail(std::string* error, const char* reason) {
    *error = reason;
    return false;
}

bool bit_count_ok(std::uint32_t header_size, std::uint32_t bpp) {
    if (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24) return true;
    return header_size != 12 && (bpp == 16 || bpp == 32);
}

bool compression_ok(std::uint32_t compression, std::uint32_t bpp) {
    switch (compression) {
    case kRgb:
        return true;
    case kRle8:
        return bpp == 8;
    case kRle4:
        return bpp == 4;
    case kBitFields:
    case kAlphaBitFields:
        return bpp == 16 || bpp == 32;
    default:
        return false;
    }
}

// Bit masks: in the header from 52 bytes on, after a 40-byte one, or implied by the bit count.
bool read_masks(const std::uint8_t* d, std::size_t n, std::uint32_t header_size, std::size_t* pos, Header* h,
                std::string* error) {
    std::uint32_t m[4] = {0, 0, 0, 0};
    if (h->compression == kBitFields || h->compression == kAlphaBitFields) {
        if (header_size == 40) {
            const std::size_t count = h->compression == kAlphaBitFields ? 4 : 3;
            if (n < *pos + 4 * count) return fail(error, "truncated header");
            for (std::size_t i = 0; i < count; ++i)
                m[i] = le32(d + *pos + 4 * i);
            *pos += 4 * count;
        } else {
            for (std::size_t i = 0; i < 3; ++i)
                m[i] = le32(d + 54 + 4 * i);
            if (header_size >= 56) m[3] = le32(d + 66);
        }
    } else if (h->bpp == 16) {
        m[0] = 0x7C00, m[1] = 0x03E0, m[2] = 0x001F;
    } else if (h->bpp == 32) {
        // The fourth byte is alpha when any pixel sets it (see decode_rows), as most writers mean it.
        m[0] = 0xFF0000, m[1] = 0xFF00, m[2] = 0xFF, m[3] = 0xFF000000;
    }
    if (!h->r.set(m[0], h->bpp) || !h->g.set(m[1], h->bpp) || !h->b.set(m[2], h->bpp) ||
        !h->a.set(m[3], h->bpp))
        return fail(error, "bad bit masks");
    return true;
}

// A palette may be shorter than the bit count allows: its length is the colours-used field, else
// what fits before the pixel data.
bool read_palette(const std::uint8_t* d, std::size_t n, std::uint32_t header_size, std::size_t pos,
                  std::uint32_t colours_used, Header* h, std::string* error) {
    const std::size_t entry = header_size == 12 ? 3 : 4;
    const std::uint32_t most = 1u << h->bpp;
    std::size_t count = (colours_used == 0 || colours_used > most) ? most : colours_used;
    count = std::min(count, (h->offset - pos) / entry);
    if (count == 0) return fail(error, "missing palette");
    if (pos + count * entry > n) return fail(error, "truncated palette");
    h->palette.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = d + pos + i * entry;
        h->palette[i] = 0xFF000000u | std::uint32_t{e[0]} << 16 | std::uint32_t{e[1]} << 8 | e[2];
    }
    return true;
}

bool read_header(const std::uint8_t* d, std::size_t n, Header* h, std::string* error) {
    if (n < 18) return fail(error, "truncated header");
    h->offset = le32(d + 10);
    const std::uint32_t header_size = le32(d + 14);
    if (header_size != 12 && header_size != 40 && header_size != 52 && header_size != 56 &&
        header_size != 108 && header_size != 124)
        return fail(error, "unsupported header size");
    if (n < 14 + header_size) return fail(error, "truncated header");
    std::uint32_t planes = 0, colours_used = 0;
    if (header_size == 12) {
        h->width = le16(d + 18);
        h->height = le16(d + 20);
        planes = le16(d + 22);
        h->bpp = le16(d + 24);
    } else {
        h->width = static_cast<std::int32_t>(le32(d + 18));
        h->height = static_cast<std::int32_t>(le32(d + 22));
        planes = le16(d + 26);
        h->bpp = le16(d + 28);
        h->compression = le32(d + 30);
        colours_used = le32(d + 46);
    }
    if (planes != 1) return fail(error, "bad plane count");
    if (!bit_count_ok(header_size, h->bpp)) return fail(error, "bad bit count");
    if (!compression_ok(h->compression, h->bpp)) return fail(error, "unsupported compression");
    h->top_down = h->height < 0;
    if (h->top_down) h->height = -h->height;
    if (h->top_down && (h->compression == kRle8 || h->compression == kRle4))
        return fail(error, "compressed image stored top-down");
    if (!detail::image_size_ok(h->width, h->height, error)) return false;
    std::size_t pos = 14 + header_size;
    if (!read_masks(d, n, header_size, &pos, h, error)) return false;
    if (h->offset < pos) return fail(error, "bad pixel data offset");
    if (h->offset > n) return fail(error, "truncated pixel data");
    return h->bpp > 8 || read_palette(d, n, header_size, pos, colours_used, h, error);
}

void put(std::vector<std::uint8_t>* out, std::size_t pixel, std::uint32_t abgr) {
    std::uint8_t* o = out->data() + pixel * 4;
    o[0] = static_cast<std::uint8_t>(abgr), o[1] = static_cast<std::uint8_t>(abgr >> 8);
    o[2] = static_cast<std::uint8_t>(abgr >> 16), o[3] = static_cast<std::uint8_t>(abgr >> 24);
}

// Uncompressed rows must all be in the file, but for the last row's padding.
bool rows_fit(const Header& h, std::size_t n) {
    const auto w = static_cast<std::size_t>(h.width), rows = static_cast<std::size_t>(h.height);
    const std::size_t stride = (w * h.bpp + 31) / 32 * 4;
    return h.offset + stride * (rows - 1) + (w * h.bpp + 7) / 8 <= n;
}

bool decode_rows(const std::uint8_t* d, const Header& h, std::vector<std::uint8_t>* out, std::string* error) {
    const auto w = static_cast<std::size_t>(h.width), rows = static_cast<std::size_t>(h.height);
    const std::size_t stride = (w * h.bpp + 31) / 32 * 4;
    bool any_alpha = false;
    for (std::size_t file_row = 0; file_row < rows; ++file_row) {
        const std::uint8_t* src = d + h.offset + file_row * stride;
        const std::size_t first = (h.top_down ? file_row : rows - 1 - file_row) * w;
        for (std::size_t x = 0; x < w; ++x) {
            std::uint32_t abgr = 0;
            if (h.bpp <= 8) {
                const std::size_t bit = x * h.bpp;
                const std::uint32_t index = (src[bit / 8] >> (8 - h.bpp - bit % 8)) & ((1u << h.bpp) - 1);
                if (index >= h.palette.size()) return fail(error, "palette index past the palette");
                abgr = h.palette[index];
            } else if (h.bpp == 24) {
                const std::uint8_t* p = src + x * 3;
                abgr = 0xFF000000u | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
            } else {
                const std::uint32_t px = h.bpp == 16 ? le16(src + x * 2) : le32(src + x * 4);
                const std::uint32_t alpha = h.a.take(px);
                any_alpha |= alpha != 0;
                abgr = alpha << 24 | std::uint32_t{h.b.take(px)} << 16 | std::uint32_t{h.g.take(px)} << 8 |
                       h.r.take(px);
            }
            put(out, first + x, abgr);
        }
    }
    // No alpha mask, or an alpha channel left all zero by its writer: the image is opaque.
    if (h.bpp >= 16 && !any_alpha)
        for (std::size_t i = 3; i < out->size(); i += 4)
            (*out)[i] = 255;
    return true;
}

// Run-length data: runs and literal stretches within a row, end-of-line, delta and end-of-bitmap
// codes. Pixels that the codes skip keep palette entry 0, as in an index buffer that started zeroed.
bool decode_rle(const std::uint8_t* d, std::size_t n, const Header& h, std::vector<std::uint8_t>* out,
                std::string* error) {
    const auto w = static_cast<std::size_t>(h.width), rows = static_cast<std::size_t>(h.height);
    for (std::size_t i = 0; i < w * rows; ++i)
        put(out, i, h.palette[0]);
    const bool four = h.compression == kRle4;
    std::size_t p = h.offset, x = 0, y = 0; // y counts rows from the bottom
    auto write = [&](std::size_t count, auto index_of) {
        if (y >= rows || x + count > w) return fail(error, "RLE run past the row");
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t index = index_of(i);
            if (index >= h.palette.size()) return fail(error, "palette index past the palette");
            put(out, (rows - 1 - y) * w + x + i, h.palette[index]);
        }
        x += count;
        return true;
    };
    for (;;) {
        if (p + 2 > n) return fail(error, "truncated pixel data");
        const std::uint8_t count = d[p], value = d[p + 1];
        p += 2;
        if (count > 0) {
            const bool ok = write(count, [&](std::size_t i) -> std::uint32_t {
                return four ? ((i % 2 == 0) ? value >> 4 : value & 15) : value;
            });
            if (!ok) return false;
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return true;
        } else if (value == 2) {
            if (p + 2 > n) return fail(error, "truncated pixel data");
            x += d[p];
            y += d[p + 1];
            p += 2;
            if (x > w || y > rows) return fail(error, "RLE delta past the image");
        } else {
            const std::size_t bytes = four ? (value + 1u) / 2 : value;
            if (p + bytes > n) return fail(error, "truncated pixel data");
            const std::uint8_t* lit = d + p;
            const bool ok = write(value, [&](std::size_t i) -> std::uint32_t {
                return four ? ((i % 2 == 0) ? lit[i / 2] >> 4 : lit[i / 2] & 15) : lit[i];
            });
            if (!ok) return false;
            p += bytes + (bytes & 1); // literal stretches end on a 16-bit boundary
        }
    }
}

} // namespace

bool DecodeBmp(const std::uint8_t* data, std::size_t size, DecodedImage* image, std::string* error) {
    Header h;
    if (!read_header(data, size, &h, error)) return false;
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    if (!rle && !rows_fit(h, size)) return fail(error, "truncated pixel data");
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(h.width * h.height) * 4);
    if (!(rle ? decode_rle(data, size, h, &rgba, error) : decode_rows(data, h, &rgba, error))) return false;
    image->width = static_cast<int>(h.width);
    image->height = static_cast<int>(h.height);
    image->rgba = std::move(rgba);
    return true;
}

} // namespace kl::d3dx
