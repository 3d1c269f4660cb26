// PNG files of every colour type and bit depth, interlaced or not, with transparency, each row run
// through a different filter; and damaged ones with the reason each gives.
#include "image_samples.h"

#include <cstdlib>
#include <functional>
#include <zlib.h>

namespace kl::samples {

namespace {

void put32(std::vector<std::uint8_t>& o, std::uint32_t v) {
    for (int i = 3; i >= 0; --i)
        o.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void chunk(std::vector<std::uint8_t>& o, const char* type, const std::vector<std::uint8_t>& data) {
    put32(o, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = o.size();
    o.insert(o.end(), type, type + 4);
    o.insert(o.end(), data.begin(), data.end());
    put32(o, static_cast<std::uint32_t>(crc32(0, o.data() + start, static_cast<uInt>(o.size() - start))));
}

struct Layout {
    int colour_type = 2; // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    int depth = 8;
    bool interlaced = false;
    std::vector<std::uint32_t> palette; // 0xRRGGBB
    std::vector<std::uint8_t> trns;     // the tRNS chunk's data, when there is one
    int width = 7, height = 5;
};

int channels(int colour_type) {
    return colour_type == 2 ? 3 : colour_type == 4 ? 2 : colour_type == 6 ? 4 : 1;
}

std::uint8_t predict(int filter, int a, int b, int c) {
    switch (filter) {
    case 1:
        return static_cast<std::uint8_t>(a);
    case 2:
        return static_cast<std::uint8_t>(b);
    case 3:
        return static_cast<std::uint8_t>((a + b) / 2);
    case 4: {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
    }
    default:
        return 0;
    }
}

// Scanlines of the pixels at (x0 + i dx, y0 + j dy), each with its filter byte (the row number
// modulo 5, so every filter is used).
void scanlines(const Layout& l, int x0, int y0, int dx, int dy,
               const std::function<std::uint32_t(int, int, int)>& sample, std::vector<std::uint8_t>& out) {
    const int n = channels(l.colour_type), w = (l.width - x0 + dx - 1) / dx;
    if (w <= 0 || y0 >= l.height) return;
    const int bpp = std::max(1, n * l.depth / 8);
    std::vector<std::uint8_t> prior;
    for (int y = y0, row = 0; y < l.height; y += dy, ++row) {
        std::vector<std::uint8_t> raw(static_cast<std::size_t>((w * n * l.depth + 7) / 8), 0);
        for (int i = 0; i < w; ++i)
            for (int c = 0; c < n; ++c) {
                const std::uint32_t v = sample(x0 + i * dx, y, c);
                const int bit = (i * n + c) * l.depth;
                if (l.depth == 16) {
                    raw[static_cast<std::size_t>(bit / 8)] = static_cast<std::uint8_t>(v >> 8);
                    raw[static_cast<std::size_t>(bit / 8 + 1)] = static_cast<std::uint8_t>(v);
                } else {
                    raw[static_cast<std::size_t>(bit / 8)] |=
                        static_cast<std::uint8_t>(v << (8 - l.depth - bit % 8));
                }
            }
        if (prior.empty()) prior.assign(raw.size(), 0);
        const int filter = row % 5;
        out.push_back(static_cast<std::uint8_t>(filter));
        for (std::size_t i = 0; i < raw.size(); ++i) {
            const int a = i >= static_cast<std::size_t>(bpp) ? raw[i - static_cast<std::size_t>(bpp)] : 0;
            const int c = i >= static_cast<std::size_t>(bpp) ? prior[i - static_cast<std::size_t>(bpp)] : 0;
            out.push_back(static_cast<std::uint8_t>(raw[i] - predict(filter, a, prior[i], c)));
        }
        prior = raw;
    }
}

std::vector<std::uint8_t> png_file(const Layout& l,
                                   const std::function<std::uint32_t(int, int, int)>& sample) {
    std::vector<std::uint8_t> o = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> ihdr;
    put32(ihdr, static_cast<std::uint32_t>(l.width));
    put32(ihdr, static_cast<std::uint32_t>(l.height));
    ihdr.insert(ihdr.end(), {static_cast<std::uint8_t>(l.depth), static_cast<std::uint8_t>(l.colour_type), 0,
                             0, static_cast<std::uint8_t>(l.interlaced ? 1 : 0)});
    chunk(o, "IHDR", ihdr);
    if (!l.palette.empty()) {
        std::vector<std::uint8_t> plte;
        for (std::uint32_t c : l.palette)
            plte.insert(plte.end(), {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                                     static_cast<std::uint8_t>(c)});
        chunk(o, "PLTE", plte);
    }
    if (!l.trns.empty()) chunk(o, "tRNS", l.trns);
    std::vector<std::uint8_t> raw;
    if (!l.interlaced) {
        scanlines(l, 0, 0, 1, 1, sample, raw);
    } else {
        const int passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                  {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        for (const auto& p : passes)
            scanlines(l, p[0], p[1], p[2], p[3], sample, raw);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> z(size);
    compress2(z.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
    z.resize(size);
    // Two IDAT chunks: a reader must join them.
    const auto half = static_cast<std::ptrdiff_t>(z.size() / 2);
    chunk(o, "IDAT", {z.begin(), z.begin() + half});
    chunk(o, "IDAT", {z.begin() + half, z.end()});
    chunk(o, "IEND", {});
    return o;
}

std::uint32_t max_of(int depth) {
    return (1u << depth) - 1;
}

// The stored value of channel c at (x, y), spread over the whole range of the depth.
std::uint32_t pattern(int x, int y, int c, int depth) {
    return static_cast<std::uint32_t>((x * 5 + y * 3 + c * 2) % 9) * max_of(depth) / 8;
}

ImageSample sample(const std::string& name, const Layout& l) {
    const int n = channels(l.colour_type);
    auto value = [&](int x, int y, int c) -> std::uint32_t {
        if (l.colour_type == 3)
            return static_cast<std::uint32_t>(static_cast<std::size_t>(x + 2 * y) % l.palette.size());
        return pattern(x, y, c, l.depth);
    };
    Picture pic(l.width, l.height);
    auto eight = [&](std::uint32_t v) {
        return l.depth == 16 ? static_cast<std::uint8_t>(v >> 8) : Widen(v, l.depth);
    };
    for (int y = 0; y < l.height; ++y)
        for (int x = 0; x < l.width; ++x) {
            std::uint32_t v[4] = {0, 0, 0, 0};
            for (int c = 0; c < n; ++c)
                v[c] = value(x, y, c);
            std::uint32_t rgb = 0;
            std::uint8_t alpha = 255;
            if (l.colour_type == 3) {
                rgb = l.palette[v[0]];
                if (v[0] < l.trns.size()) alpha = l.trns[v[0]];
            } else if (l.colour_type == 0 || l.colour_type == 4) {
                rgb = eight(v[0]) * 0x010101u;
                if (l.colour_type == 4) alpha = eight(v[1]);
            } else {
                rgb = std::uint32_t{eight(v[0])} << 16 | std::uint32_t{eight(v[1])} << 8 | eight(v[2]);
                if (l.colour_type == 6) alpha = eight(v[3]);
            }
            if (!l.trns.empty() && l.colour_type != 3) { // a transparent colour, in 16-bit big-endian samples
                bool match = true;
                for (int c = 0; c < n; ++c)
                    match &= (std::uint32_t{l.trns[static_cast<std::size_t>(2 * c)]} << 8 |
                              l.trns[static_cast<std::size_t>(2 * c + 1)]) == v[c];
                if (match) alpha = 0;
            }
            pic.set(x, y, rgb, alpha);
        }
    return {name + ".png", "png", png_file(l, value), pic, 0, {}};
}

std::vector<std::uint8_t> trns_of(std::initializer_list<std::uint32_t> samples) {
    std::vector<std::uint8_t> t;
    for (std::uint32_t v : samples)
        t.insert(t.end(), {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
    return t;
}

Layout layout(int colour_type, int depth, bool interlaced = false) {
    Layout l;
    l.colour_type = colour_type;
    l.depth = depth;
    l.interlaced = interlaced;
    return l;
}

} // namespace

std::vector<ImageSample> PngSamples() {
    std::vector<ImageSample> s;
    for (int depth : {1, 2, 4, 8, 16})
        s.push_back(sample("grey-" + std::to_string(depth) + "bit", layout(0, depth)));
    for (int depth : {8, 16}) {
        s.push_back(sample("rgb-" + std::to_string(depth) + "bit", layout(2, depth)));
        s.push_back(sample("grey-alpha-" + std::to_string(depth) + "bit", layout(4, depth)));
        s.push_back(sample("rgba-" + std::to_string(depth) + "bit", layout(6, depth)));
    }
    for (int depth : {1, 2, 4, 8}) {
        Layout l = layout(3, depth);
        l.palette = Palette(depth == 1 ? 2 : depth == 2 ? 3 : 11);
        l.trns = {0, 128}; // entry 0 clear, entry 1 half, the others opaque
        s.push_back(sample("palette-" + std::to_string(depth) + "bit-trns", l));
    }
    Layout grey_key = layout(0, 4);
    grey_key.trns = trns_of({pattern(0, 0, 0, 4)});
    s.push_back(sample("grey-4bit-trns", grey_key));
    Layout rgb_key = layout(2, 16);
    rgb_key.trns = trns_of({pattern(1, 1, 0, 16), pattern(1, 1, 1, 16), pattern(1, 1, 2, 16)});
    s.push_back(sample("rgb-16bit-trns", rgb_key));
    Layout rgb8_key = layout(2, 8);
    rgb8_key.trns = trns_of({pattern(2, 0, 0, 8), pattern(2, 0, 1, 8), pattern(2, 0, 2, 8)});
    s.push_back(sample("rgb-8bit-trns", rgb8_key));

    s.push_back(sample("interlaced-rgba-8bit", layout(6, 8, true)));
    s.push_back(sample("interlaced-rgb-16bit", layout(2, 16, true)));
    s.push_back(sample("interlaced-grey-1bit", layout(0, 1, true)));
    Layout lace_palette = layout(3, 4, true);
    lace_palette.palette = Palette(9);
    lace_palette.width = 11;
    lace_palette.height = 9;
    s.push_back(sample("interlaced-palette-4bit-11x9", lace_palette));
    Layout one = layout(6, 8, true);
    one.width = one.height = 1;
    s.push_back(sample("interlaced-1x1", one));

    // Damaged files.
    const auto rgb = sample("rgb-8bit", layout(2, 8)).bytes;
    s.push_back(Damaged("cut-in-data", "png", {rgb.begin(), rgb.end() - 30}, "truncated image data"));
    s.push_back(Damaged("no-end-chunk", "png", {rgb.begin(), rgb.end() - 12}, "truncated image data"));
    auto patched = [](std::vector<std::uint8_t> b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
        return b;
    };
    s.push_back(Damaged("width-100000", "png", patched(rgb, 16, 100000), "image too large"));
    s.push_back(Damaged("height-0", "png", patched(rgb, 20, 0), "bad size"));
    s.push_back(
        Damaged("chunk-longer-than-file", "png", patched(rgb, 33, 0x7FFFFFFF), "truncated image data"));
    std::vector<std::uint8_t> no_header = rgb;
    no_header[12] = 'X';
    s.push_back(Damaged("first-chunk-not-header", "png", no_header, "missing image header"));
    Layout bad_depth = layout(2, 4);
    s.push_back(Damaged("rgb-4bit", "png", png_file(bad_depth, [](int, int, int) { return 0u; }),
                        "bad bit depth for the colour type"));
    std::vector<std::uint8_t> bad_zlib = rgb;
    for (std::size_t i = 45; i < 60; ++i)
        bad_zlib[i] ^= 0x5A;
    s.push_back(Damaged("corrupt-compressed-data", "png", bad_zlib, ""));
    Layout short_palette = layout(3, 8);
    short_palette.palette = Palette(3);
    s.push_back(Damaged("index-past-palette", "png",
                        png_file(short_palette, [](int x, int, int) { return x == 4 ? 5u : 1u; }),
                        "palette index past the palette"));
    return s;
}

} // namespace kl::samples
