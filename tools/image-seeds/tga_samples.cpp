// TGA files: true colour, grey and colour-mapped, plain and run-length encoded, in all four pixel
// orders; and damaged ones with the reason each gives.
#include "image_samples.h"

namespace kl::samples {

namespace {

struct Layout {
    int type = 2; // 1 colour-mapped, 2 true colour, 3 grey
    bool rle = false;
    int bits = 24;
    int map_bits = 24, map_first = 0, map_length = 0;
    bool top_down = false, right_to_left = false;
    int alpha_bits = 0;
    int id_length = 0;
    int width = 5, height = 3;
};

void put16(std::vector<std::uint8_t>& o, int v) {
    o.push_back(static_cast<std::uint8_t>(v));
    o.push_back(static_cast<std::uint8_t>(v >> 8));
}

// A stored value of `bits` bits for a colour, as the file holds it (blue first).
void put_colour(std::vector<std::uint8_t>& o, int bits, bool grey, std::uint32_t rgb, std::uint8_t alpha) {
    const std::uint32_t r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
    if (grey) {
        o.push_back(static_cast<std::uint8_t>(r));
        if (bits == 16) o.push_back(alpha);
    } else if (bits <= 16) {
        put16(o, static_cast<int>((alpha >= 128 ? 0x8000u : 0) | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3));
    } else {
        o.insert(o.end(),
                 {static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(r)});
        if (bits == 32) o.push_back(alpha);
    }
}

// The colour a stored value gives back.
std::uint32_t stored_rgb(int bits, bool grey, std::uint32_t rgb) {
    if (grey) return (rgb >> 16 & 0xFF) * 0x010101u;
    if (bits > 16) return rgb;
    return std::uint32_t{Widen(rgb >> 19 & 31, 5)} << 16 | std::uint32_t{Widen(rgb >> 11 & 31, 5)} << 8 |
           Widen(rgb >> 3 & 31, 5);
}

// Pixel values in stored order (rows from the bottom unless top-down, right to left if so).
ImageSample sample(const std::string& name, const Layout& l) {
    std::vector<std::uint8_t> o = {static_cast<std::uint8_t>(l.id_length),
                                   static_cast<std::uint8_t>(l.type == 1),
                                   static_cast<std::uint8_t>(l.type + (l.rle ? 8 : 0))};
    put16(o, l.map_first);
    put16(o, l.map_length);
    o.push_back(static_cast<std::uint8_t>(l.type == 1 ? l.map_bits : 0));
    put16(o, 0);
    put16(o, 0);
    put16(o, l.width);
    put16(o, l.height);
    o.push_back(static_cast<std::uint8_t>(l.bits));
    o.push_back(
        static_cast<std::uint8_t>(l.alpha_bits | (l.right_to_left ? 0x10 : 0) | (l.top_down ? 0x20 : 0)));
    for (int i = 0; i < l.id_length; ++i)
        o.push_back(static_cast<std::uint8_t>('a' + i));
    const bool grey = l.type == 3;
    const bool alpha_kept = (l.type == 1 ? l.map_bits : l.bits) == 32 || (grey && l.bits == 16) ||
                            ((l.type == 1 ? l.map_bits : l.bits) == 16 && l.alpha_bits > 0);
    auto alpha_of = [](int i) { return static_cast<std::uint8_t>(i % 3 == 0 ? 0 : i % 3 == 1 ? 255 : 200); };
    for (int i = 0; i < l.map_length; ++i)
        put_colour(o, l.map_bits, false, PaletteColour(i), alpha_of(i));

    Picture pic(l.width, l.height);
    std::vector<std::vector<std::uint8_t>> stored; // each pixel's bytes, in file order
    for (int k = 0; k < l.width * l.height; ++k) {
        const int row = k / l.width, col = k % l.width;
        const int y = l.top_down ? row : l.height - 1 - row, x = l.right_to_left ? l.width - 1 - col : col;
        // Runs of equal pixels along each stored row, so that run-length packets have something to do.
        const int v = (col / 2 + row) % 6;
        std::vector<std::uint8_t> bytes;
        std::uint32_t rgb = 0;
        std::uint8_t alpha = 255;
        if (l.type == 1) {
            const int entry = v % l.map_length;
            put16(bytes, l.map_first + entry);
            if (l.bits == 8) bytes.pop_back();
            rgb = stored_rgb(l.map_bits, false, PaletteColour(entry));
            alpha = alpha_of(entry);
        } else {
            const std::uint32_t colour = PaletteColour(v);
            put_colour(bytes, l.bits, grey, colour, alpha_of(v));
            rgb = stored_rgb(l.bits, grey, colour);
            alpha = alpha_of(v);
        }
        if (!alpha_kept)
            alpha = 255;
        else if ((l.type == 1 ? l.map_bits : l.bits) == 16 && !grey)
            alpha = alpha >= 128 ? 255 : 0;
        pic.set(x, y, rgb, alpha);
        stored.push_back(bytes);
    }
    for (std::size_t k = 0; k < stored.size();) {
        if (!l.rle) {
            o.insert(o.end(), stored[k].begin(), stored[k].end());
            ++k;
            continue;
        }
        std::size_t run = 1;
        while (k + run < stored.size() && run < 128 && stored[k + run] == stored[k])
            ++run;
        if (run > 1) {
            o.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
            o.insert(o.end(), stored[k].begin(), stored[k].end());
        } else {
            std::size_t raw = 1;
            while (k + raw < stored.size() && raw < 128 && stored[k + raw] != stored[k + raw - 1])
                ++raw;
            o.push_back(static_cast<std::uint8_t>(raw - 1));
            for (std::size_t i = 0; i < raw; ++i)
                o.insert(o.end(), stored[k + i].begin(), stored[k + i].end());
            run = raw;
        }
        k += run;
    }
    return {name + ".tga", "tga", o, pic, 0, {}};
}

Layout true_colour(int bits, bool rle = false) {
    Layout l;
    l.bits = bits;
    l.rle = rle;
    return l;
}

Layout mapped(int map_bits, int map_length, bool rle = false) {
    Layout l;
    l.type = 1;
    l.bits = 8;
    l.map_bits = map_bits;
    l.map_length = map_length;
    l.rle = rle;
    return l;
}

} // namespace

std::vector<ImageSample> TgaSamples() {
    std::vector<ImageSample> s;
    s.push_back(sample("24bit", true_colour(24)));
    s.push_back(sample("32bit-alpha", With(true_colour(32), [](Layout& l) { l.alpha_bits = 8; })));
    s.push_back(sample("16bit-no-alpha", true_colour(16)));
    s.push_back(sample("16bit-alpha-bit", With(true_colour(16), [](Layout& l) { l.alpha_bits = 1; })));
    s.push_back(sample("15bit", true_colour(15)));
    s.push_back(sample("grey-8bit", With(true_colour(8), [](Layout& l) { l.type = 3; })));
    s.push_back(sample("grey-alpha-16bit", With(true_colour(16), [](Layout& l) {
                           l.type = 3;
                           l.alpha_bits = 8;
                       })));
    s.push_back(sample("mapped-24bit-entries", mapped(24, 6)));
    s.push_back(sample("mapped-32bit-entries", With(mapped(32, 6), [](Layout& l) { l.alpha_bits = 8; })));
    s.push_back(sample("mapped-16bit-entries", mapped(16, 4)));
    s.push_back(sample("mapped-first-entry-10", With(mapped(24, 6), [](Layout& l) { l.map_first = 10; })));
    s.push_back(sample("mapped-16bit-indices", With(mapped(24, 5), [](Layout& l) { l.bits = 16; })));
    s.push_back(sample("rle-24bit", true_colour(24, true)));
    s.push_back(sample("rle-32bit-alpha", With(true_colour(32, true), [](Layout& l) {
                           l.alpha_bits = 8;
                           l.width = 40;
                       })));
    s.push_back(sample("rle-mapped", mapped(24, 6, true)));
    s.push_back(sample("rle-grey", With(true_colour(8, true), [](Layout& l) { l.type = 3; })));
    s.push_back(sample("top-down", With(true_colour(24), [](Layout& l) { l.top_down = true; })));
    s.push_back(sample("right-to-left", With(true_colour(24), [](Layout& l) { l.right_to_left = true; })));
    s.push_back(sample("top-down-right-to-left-rle",
                       With(true_colour(24, true), [](Layout& l) { l.top_down = l.right_to_left = true; })));
    s.push_back(sample("with-image-id", With(true_colour(24), [](Layout& l) { l.id_length = 7; })));

    // Damaged files.
    const auto plain = sample("24bit", true_colour(24)).bytes;
    const auto rle = sample("rle-24bit", true_colour(24, true)).bytes;
    const auto map = sample("mapped", mapped(24, 6)).bytes;
    auto patched = [](std::vector<std::uint8_t> b, std::size_t at, std::initializer_list<std::uint8_t> v) {
        for (std::uint8_t x : v)
            b[at++] = x;
        return b;
    };
    s.push_back(Damaged("cut-in-pixels", "tga", {plain.begin(), plain.end() - 1}, "truncated pixel data"));
    s.push_back(Damaged("rle-cut-in-packet", "tga", {rle.begin(), rle.end() - 2}, "truncated pixel data"));
    s.push_back(Damaged("cut-in-header", "tga", {plain.begin(), plain.begin() + 12},
                        "not a BMP, PNG, TGA or JPEG image"));
    s.push_back(Damaged("cut-in-colour-map", "tga", {map.begin(), map.begin() + 25}, "truncated colour map"));
    std::vector<std::uint8_t> long_run = rle;
    long_run[18] = 0xFF; // a run of 128 pixels in a 15-pixel image
    s.push_back(Damaged("rle-packet-past-image", "tga", long_run, "RLE packet past the image"));
    std::vector<std::uint8_t> far_index = map;
    far_index.back() = 6;
    s.push_back(Damaged("index-past-colour-map", "tga", far_index, "colour index past the colour map"));
    s.push_back(
        Damaged("index-below-first-entry", "tga", patched(map, 3, {5}), "colour index past the colour map"));
    s.push_back(Damaged("width-0", "tga", patched(plain, 12, {0, 0}), "bad size"));
    s.push_back(Damaged("8bit-true-colour", "tga", patched(plain, 16, {8}), "bad bit count"));
    s.push_back(Damaged("12bit-map-entries", "tga", patched(map, 7, {12}), "bad colour map entry size"));
    s.push_back(Damaged("mapped-without-map", "tga", patched(map, 1, {0}), "missing colour map"));
    s.push_back(Damaged("huffman-type", "tga", patched(plain, 2, {32}), "not a BMP, PNG, TGA or JPEG image"));
    return s;
}

} // namespace kl::samples
