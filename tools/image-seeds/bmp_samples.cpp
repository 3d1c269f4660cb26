// BMP files of every header, bit count and compression, and damaged ones with the reason each gives.
#include "image_samples.h"

#include <functional>

namespace kl::samples {

namespace {

void put16(std::vector<std::uint8_t>& o, std::uint32_t v) {
    o.push_back(static_cast<std::uint8_t>(v));
    o.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& o, std::uint32_t v) {
    put16(o, v & 0xFFFF);
    put16(o, v >> 16);
}

struct Layout {
    std::uint32_t header = 40;
    int bpp = 24;
    std::uint32_t compression = 0;
    bool top_down = false;
    std::vector<std::uint32_t> masks;   // after a 40-byte header, or inside a larger one
    std::vector<std::uint32_t> palette; // 0xRRGGBB
    std::uint32_t colours_used = 0;
    bool zero_optional = false; // file size, image size, resolution and colour counts all 0
};

std::vector<std::uint8_t> bmp_file(const Layout& l, int w, int h, const std::vector<std::uint8_t>& pixels) {
    std::vector<std::uint8_t> o;
    const std::size_t entry = l.header == 12 ? 3 : 4;
    const std::size_t mask_bytes = l.header == 40 ? l.masks.size() * 4 : 0;
    const auto offset = static_cast<std::uint32_t>(14 + l.header + mask_bytes + l.palette.size() * entry);
    o.push_back('B');
    o.push_back('M');
    put32(o, l.zero_optional ? 0 : offset + static_cast<std::uint32_t>(pixels.size()));
    put32(o, 0);
    put32(o, offset);
    put32(o, l.header);
    if (l.header == 12) {
        put16(o, static_cast<std::uint32_t>(w));
        put16(o, static_cast<std::uint32_t>(h));
        put16(o, 1);
        put16(o, static_cast<std::uint32_t>(l.bpp));
    } else {
        put32(o, static_cast<std::uint32_t>(w));
        put32(o, static_cast<std::uint32_t>(l.top_down ? -h : h));
        put16(o, 1);
        put16(o, static_cast<std::uint32_t>(l.bpp));
        put32(o, l.compression);
        put32(o, l.zero_optional ? 0 : static_cast<std::uint32_t>(pixels.size()));
        put32(o, l.zero_optional ? 0 : 2835);
        put32(o, l.zero_optional ? 0 : 2835);
        put32(o, l.colours_used);
        put32(o, l.zero_optional ? 0 : l.colours_used);
        for (std::size_t i = 0; i < l.masks.size(); ++i)
            if (l.header == 40 || (i < 3 && l.header >= 52) || (i == 3 && l.header >= 56))
                put32(o, l.masks[i]);
        while (o.size() < 14 + l.header)
            o.push_back(0); // colour space, end points, gamma, intent, profile: unused here
    }
    for (std::uint32_t c : l.palette) {
        o.push_back(static_cast<std::uint8_t>(c));
        o.push_back(static_cast<std::uint8_t>(c >> 8));
        o.push_back(static_cast<std::uint8_t>(c >> 16));
        if (entry == 4) o.push_back(0);
    }
    o.insert(o.end(), pixels.begin(), pixels.end());
    return o;
}

// Uncompressed rows of `value(x, y)` (an index or a packed pixel), padded to 4 bytes, bottom row
// first unless top-down.
std::vector<std::uint8_t> rows(int w, int h, int bpp, bool top_down,
                               const std::function<std::uint32_t(int, int)>& value) {
    std::vector<std::uint8_t> o;
    for (int r = 0; r < h; ++r) {
        const int y = top_down ? r : h - 1 - r;
        std::vector<std::uint8_t> row(static_cast<std::size_t>((w * bpp + 31) / 32 * 4), 0);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t v = value(x, y);
            const int bit = x * bpp;
            if (bpp < 8)
                row[static_cast<std::size_t>(bit / 8)] |= static_cast<std::uint8_t>(v << (8 - bpp - bit % 8));
            else
                for (int b = 0; b < bpp / 8; ++b)
                    row[static_cast<std::size_t>(bit / 8 + b)] = static_cast<std::uint8_t>(v >> (8 * b));
        }
        o.insert(o.end(), row.begin(), row.end());
    }
    return o;
}

ImageSample valid(std::string name, std::vector<std::uint8_t> bytes, Picture expected) {
    return {std::move(name) + ".bmp", "bmp", std::move(bytes), std::move(expected), 0, {}};
}

// A palette file: colour index (x + 2y) % colours at each pixel.
ImageSample indexed(const std::string& name, Layout l, int w, int h, int colours) {
    Picture pic(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pic.set(x, y, l.palette[static_cast<std::size_t>((x + 2 * y) % colours)]);
    const auto px = rows(w, h, l.bpp, l.top_down,
                         [&](int x, int y) { return static_cast<std::uint32_t>((x + 2 * y) % colours); });
    return valid(name, bmp_file(l, w, h, px), pic);
}

// A true-colour file whose channels are stored with `bits` bits each (5-5-5, 5-6-5, 8-8-8...).
struct Packing {
    int shift[4];
    int bits[4]; // red, green, blue, alpha; alpha bits 0: opaque
};

ImageSample packed(const std::string& name, Layout l, int w, int h, Packing k) {
    Picture pic(w, h);
    std::vector<std::uint32_t> stored(static_cast<std::size_t>(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint32_t px = 0, rgb = 0;
            std::uint8_t alpha = 255;
            for (int c = 0; c < 4; ++c) {
                if (k.bits[c] == 0) continue;
                const std::uint32_t max = (1u << k.bits[c]) - 1;
                const std::uint32_t v =
                    static_cast<std::uint32_t>(x * 7 + y * 11 + c * 5) * max / 23 % (max + 1);
                px |= v << k.shift[c];
                if (c < 3)
                    rgb |= std::uint32_t{Widen(v, k.bits[c])} << (16 - 8 * c);
                else
                    alpha = Widen(v, k.bits[c]);
            }
            pic.set(x, y, rgb, alpha);
            stored[static_cast<std::size_t>(y * w + x)] = px;
        }
    const auto px = rows(w, h, l.bpp, l.top_down,
                         [&](int x, int y) { return stored[static_cast<std::size_t>(y * w + x)]; });
    return valid(name, bmp_file(l, w, h, px), pic);
}

constexpr Packing k555{{10, 5, 0, 0}, {5, 5, 5, 0}};
constexpr Packing k565{{11, 5, 0, 0}, {5, 6, 5, 0}};
constexpr Packing k888{{16, 8, 0, 0}, {8, 8, 8, 0}};
constexpr Packing k8888{{16, 8, 0, 24}, {8, 8, 8, 8}};

// Run-length streams written code by code while the expected picture is painted; pixels the codes
// skip show palette entry 0.
class Rle {
  public:
    Rle(int w, int h, bool four) : pic_(w, h), four_(four), h_(h) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pic_.set(x, y, PaletteColour(0));
    }
    Rle& run(int count, int a, int b = 0) {
        bytes_.push_back(static_cast<std::uint8_t>(count));
        bytes_.push_back(static_cast<std::uint8_t>(four_ ? (a << 4 | b) : a));
        for (int i = 0; i < count; ++i)
            paint(i % 2 == 0 || !four_ ? a : b);
        return *this;
    }
    // Three indices or more: a count of 0, 1 or 2 is an escape code.
    Rle& literal(const std::vector<int>& indices) {
        bytes_.push_back(0);
        bytes_.push_back(static_cast<std::uint8_t>(indices.size()));
        std::vector<std::uint8_t> packed;
        for (std::size_t i = 0; i < indices.size(); ++i) {
            paint(indices[i]);
            if (!four_)
                packed.push_back(static_cast<std::uint8_t>(indices[i]));
            else if (i % 2 == 0)
                packed.push_back(static_cast<std::uint8_t>(indices[i] << 4));
            else
                packed.back() |= static_cast<std::uint8_t>(indices[i]);
        }
        if (packed.size() % 2) packed.push_back(0);
        bytes_.insert(bytes_.end(), packed.begin(), packed.end());
        return *this;
    }
    Rle& end_of_line() {
        bytes_.insert(bytes_.end(), {0, 0});
        x_ = 0;
        ++y_;
        return *this;
    }
    Rle& delta(int dx, int dy) {
        bytes_.insert(bytes_.end(), {0, 2, static_cast<std::uint8_t>(dx), static_cast<std::uint8_t>(dy)});
        x_ += dx;
        y_ += dy;
        return *this;
    }
    Rle& end() {
        bytes_.insert(bytes_.end(), {0, 1});
        return *this;
    }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    const Picture& picture() const { return pic_; }

  private:
    void paint(int index) {
        if (x_ < pic_.width && y_ < h_) pic_.set(x_, h_ - 1 - y_, PaletteColour(index));
        ++x_;
    }
    Picture pic_;
    bool four_;
    int h_, x_ = 0, y_ = 0;
    std::vector<std::uint8_t> bytes_;
};

Rle rle8_stream() {
    Rle r(6, 4, false);
    r.run(3, 1).literal({2, 3, 4}).end_of_line(); // an odd literal stretch is padded
    r.literal({5, 6, 7, 1, 2, 3}).end_of_line();
    r.run(1, 5).delta(2, 1).run(2, 7).end(); // the delta leaves pixels at entry 0
    return r;
}

Rle rle4_stream() {
    Rle r(7, 3, true);
    r.run(4, 1, 2).literal({3, 4, 5}).end_of_line();
    r.literal({5, 6, 7, 8, 9}).delta(1, 0).run(1, 10).end_of_line();
    r.delta(3, 0).run(4, 11, 12).end();
    return r;
}

Layout rle_layout(int bpp, int colours) {
    Layout l;
    l.bpp = bpp;
    l.compression = bpp == 8 ? 1 : 2;
    l.palette = Palette(colours);
    l.colours_used = static_cast<std::uint32_t>(colours);
    return l;
}

void set32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::vector<std::uint8_t> rle8_file(const std::vector<std::uint8_t>& stream, int w = 6, int h = 4,
                                    int colours = 8) {
    return bmp_file(rle_layout(8, colours), w, h, stream);
}

} // namespace

std::vector<ImageSample> BmpSamples() {
    std::vector<ImageSample> s;
    const auto pal = [](int bpp, int n, std::uint32_t used) {
        Layout l;
        l.bpp = bpp;
        l.palette = Palette(n);
        l.colours_used = used;
        return l;
    };
    s.push_back(indexed("1bit-9x3", pal(1, 2, 2), 9, 3, 2));
    s.push_back(indexed("4bit-7x3", pal(4, 16, 0), 7, 3, 16));
    s.push_back(indexed("4bit-6-colours", pal(4, 6, 6), 7, 3, 6));
    s.push_back(indexed("8bit-5x3", pal(8, 256, 0), 5, 3, 9));
    s.push_back(indexed("8bit-5-colours-top-down", With(pal(8, 5, 5), [](Layout& l) { l.top_down = true; }),
                        5, 4, 5));
    s.push_back(indexed("8bit-zero-optional-fields",
                        With(pal(8, 256, 0), [](Layout& l) { l.zero_optional = true; }), 3, 2, 7));
    s.push_back(indexed("os2-8bit-7-colours", With(pal(8, 7, 0), [](Layout& l) { l.header = 12; }), 5, 3, 7));
    s.push_back(indexed("os2-1bit", With(pal(1, 2, 0), [](Layout& l) { l.header = 12; }), 11, 2, 2));

    const Rle r8 = rle8_stream(), r4 = rle4_stream();
    s.push_back(
        valid("rle8-runs-literals-delta", bmp_file(rle_layout(8, 8), 6, 4, r8.bytes()), r8.picture()));
    s.push_back(
        valid("rle4-runs-literals-delta", bmp_file(rle_layout(4, 13), 7, 3, r4.bytes()), r4.picture()));

    Layout t16;
    t16.bpp = 16;
    s.push_back(packed("16bit-555", t16, 5, 3, k555));
    s.push_back(packed("16bit-555-bitfields",
                       With(t16,
                            [](Layout& l) {
                                l.compression = 3;
                                l.masks = {0x7C00, 0x3E0, 0x1F};
                            }),
                       5, 3, k555));
    const Layout b565 = With(t16, [](Layout& l) {
        l.compression = 3;
        l.masks = {0xF800, 0x7E0, 0x1F};
    });
    s.push_back(packed("16bit-565-bitfields", b565, 5, 3, k565));
    s.push_back(packed("16bit-565-unused-palette",
                       With(b565,
                            [](Layout& l) {
                                l.palette = Palette(3);
                                l.colours_used = 3;
                            }),
                       5, 3, k565));
    s.push_back(packed("v2-52-16bit-565", With(b565, [](Layout& l) { l.header = 52; }), 3, 3, k565));
    s.push_back(packed("v4-108-16bit-4444",
                       With(t16,
                            [](Layout& l) {
                                l.header = 108;
                                l.compression = 3;
                                l.masks = {0xF00, 0xF0, 0xF, 0xF000};
                            }),
                       4, 3, {{8, 4, 0, 12}, {4, 4, 4, 4}}));

    Layout t24;
    s.push_back(packed("24bit-5x3", t24, 5, 3, k888));
    s.push_back(packed("24bit-unused-palette",
                       With(t24,
                            [](Layout& l) {
                                l.palette = Palette(4);
                                l.colours_used = 4;
                            }),
                       5, 3, k888));
    s.push_back(packed("24bit-top-down", With(t24, [](Layout& l) { l.top_down = true; }), 3, 4, k888));
    s.push_back(packed("os2-24bit", With(t24, [](Layout& l) { l.header = 12; }), 3, 2, k888));
    s.push_back(packed("v5-124-24bit", With(t24, [](Layout& l) { l.header = 124; }), 5, 2, k888));

    Layout t32;
    t32.bpp = 32;
    s.push_back(packed("32bit-fourth-byte-zero", t32, 3, 3, k888));
    s.push_back(packed("32bit-fourth-byte-alpha", t32, 3, 3, k8888));
    s.push_back(packed("32bit-bitfields-blue-high",
                       With(t32,
                            [](Layout& l) {
                                l.compression = 3;
                                l.masks = {0xFF, 0xFF00, 0xFF0000};
                            }),
                       3, 2, {{0, 8, 16, 0}, {8, 8, 8, 0}}));
    s.push_back(packed("32bit-alpha-bitfields",
                       With(t32,
                            [](Layout& l) {
                                l.compression = 6;
                                l.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
                            }),
                       3, 2, k8888));
    s.push_back(packed("v3-56-32bit-alpha",
                       With(t32,
                            [](Layout& l) {
                                l.header = 56;
                                l.compression = 3;
                                l.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
                            }),
                       4, 2, k8888));
    s.push_back(packed("v4-108-32bit-10-10-10",
                       With(t32,
                            [](Layout& l) {
                                l.header = 108;
                                l.compression = 3;
                                l.masks = {0x3FF00000, 0xFFC00, 0x3FF, 0};
                            }),
                       3, 2, {{20, 10, 0, 0}, {10, 10, 10, 0}}));

    // Damaged files.
    auto bytes_of = [&](const std::string& name) {
        for (const auto& sample : s)
            if (sample.name == name + ".bmp") return sample.bytes;
        return std::vector<std::uint8_t>{};
    };
    const auto bmp24 = bytes_of("24bit-5x3");
    s.push_back(Damaged("cut-in-pixels", "bmp", {bmp24.begin(), bmp24.end() - 5}, "truncated pixel data"));
    s.push_back(Damaged("cut-in-header", "bmp", {bmp24.begin(), bmp24.begin() + 30}, "truncated header"));
    const auto bmp8 = bytes_of("8bit-5x3");
    s.push_back(Damaged("cut-in-palette", "bmp", {bmp8.begin(), bmp8.begin() + 200}, "truncated"));
    auto change = [](std::vector<std::uint8_t> b, std::size_t at, std::uint32_t v, int width) {
        if (width == 4)
            set32(b, at, v);
        else
            b[at] = static_cast<std::uint8_t>(v), b[at + 1] = static_cast<std::uint8_t>(v >> 8);
        return b;
    };
    s.push_back(Damaged("width-100000", "bmp", change(bmp24, 18, 100000, 4), "image too large"));
    s.push_back(Damaged("height-minus-100000", "bmp",
                        change(bmp24, 22, static_cast<std::uint32_t>(-100000), 4), "image too large"));
    s.push_back(Damaged("height-0", "bmp", change(bmp24, 22, 0, 4), "bad size"));
    s.push_back(
        Damaged("width-negative", "bmp", change(bmp24, 18, static_cast<std::uint32_t>(-5), 4), "bad size"));
    s.push_back(Damaged("7-bits-per-pixel", "bmp", change(bmp24, 28, 7, 2), "bad bit count"));
    s.push_back(Damaged("2-planes", "bmp", change(bmp24, 26, 2, 2), "bad plane count"));
    s.push_back(Damaged("rle8-on-24-bits", "bmp", change(bmp24, 30, 1, 4), "unsupported compression"));
    s.push_back(Damaged("jpeg-inside", "bmp", change(bmp24, 30, 4, 4), "unsupported compression"));
    s.push_back(Damaged("header-size-20", "bmp", change(bmp24, 14, 20, 4), "unsupported header size"));
    s.push_back(Damaged("offset-inside-header", "bmp", change(bmp24, 10, 20, 4), "bad pixel data offset"));
    s.push_back(Damaged("offset-past-end", "bmp", change(bmp24, 10, 5000, 4), "truncated pixel data"));
    s.push_back(Damaged("mask-with-a-gap", "bmp", change(bytes_of("16bit-565-bitfields"), 54, 0xF00F, 4),
                        "bad bit masks"));
    s.push_back(Damaged("mask-past-16-bits", "bmp", change(bytes_of("16bit-565-bitfields"), 54, 0x1F0000, 4),
                        "bad bit masks"));
    s.push_back(Damaged("8bit-index-past-palette", "bmp", bmp_file(pal(8, 4, 4), 2, 1, {1, 9, 0, 0}),
                        "palette index past the palette"));
    s.push_back(
        Damaged("rle8-index-past-palette", "bmp", rle8_file({2, 9, 0, 1}), "palette index past the palette"));
    s.push_back(Damaged("rle8-run-past-row", "bmp", rle8_file({7, 1, 0, 1}), "RLE run past the row"));
    s.push_back(Damaged("rle8-literal-past-row", "bmp", rle8_file({3, 1, 0, 4, 1, 2, 3, 4, 0, 1}),
                        "RLE run past the row"));
    s.push_back(Damaged("rle8-row-past-top", "bmp", rle8_file({0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 1}),
                        "RLE run past the row"));
    s.push_back(
        Damaged("rle8-delta-past-image", "bmp", rle8_file({0, 2, 9, 0, 0, 1}), "RLE delta past the image"));
    s.push_back(Damaged("rle8-no-end", "bmp", rle8_file({6, 1, 0, 0, 6, 2}), "truncated pixel data"));
    s.push_back(Damaged("rle4-run-past-row", "bmp", bmp_file(rle_layout(4, 4), 3, 1, {4, 0x12, 0, 1}),
                        "RLE run past the row"));
    s.push_back(Damaged("rle8-top-down", "bmp",
                        change(rle8_file({0, 1}), 22, static_cast<std::uint32_t>(-4), 4),
                        "compressed image stored top-down"));
    return s;
}

} // namespace kl::samples
