// JPEG files through libjpeg-turbo's encoder: baseline and progressive, grey, subsampled, with
// restart markers, CMYK and YCCK; the decode is compared with the picture within a tolerance, since
// the format is lossy. And damaged ones with the reason each gives.
#include "image_samples.h"

#include <cstdio>
#include <jpeglib.h>

namespace kl::samples {

namespace {

struct Layout {
    int width = 16, height = 16;
    J_COLOR_SPACE in = JCS_RGB, stored = JCS_YCbCr;
    bool progressive = false, subsampled = false;
    int restart_rows = 0;
};

int components(J_COLOR_SPACE s) {
    return s == JCS_GRAYSCALE ? 1 : s == JCS_CMYK ? 4 : 3;
}

std::vector<std::uint8_t> jpeg_file(const Layout& l, const std::vector<std::uint8_t>& pixels) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(l.width);
    c.image_height = static_cast<JDIMENSION>(l.height);
    c.input_components = components(l.in);
    c.in_color_space = l.in;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, l.stored); // CMYK and YCCK files get Adobe's marker from here
    jpeg_set_quality(&c, 100, TRUE);
    if (!l.subsampled)
        for (int i = 0; i < c.num_components; ++i)
            c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    if (l.progressive) jpeg_simple_progression(&c);
    c.restart_in_rows = l.restart_rows;
    jpeg_start_compress(&c, TRUE);
    const auto stride = static_cast<std::size_t>(l.width * c.input_components);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + c.next_scanline * stride);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<std::uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

// A smooth picture (lossy coding keeps it close); CMYK files hold Adobe's inverted values, the
// colour times the inverted black.
ImageSample sample(const std::string& name, const Layout& l, int tolerance) {
    Picture pic(l.width, l.height);
    std::vector<std::uint8_t> px;
    for (int y = 0; y < l.height; ++y)
        for (int x = 0; x < l.width; ++x) {
            const auto r = static_cast<std::uint8_t>(40 + x * 180 / l.width),
                       g = static_cast<std::uint8_t>(30 + y * 190 / l.height);
            const auto b = static_cast<std::uint8_t>(200 - (x + y) * 4);
            const auto k = static_cast<std::uint8_t>(255 - x * 3);
            if (l.in == JCS_GRAYSCALE) {
                px.push_back(g);
                pic.set(x, y, g * 0x010101u);
            } else if (l.in == JCS_CMYK) {
                px.insert(px.end(), {r, g, b, k});
                auto times = [&](std::uint8_t v) { return static_cast<std::uint32_t>((v * k + 127) / 255); };
                pic.set(x, y, times(r) << 16 | times(g) << 8 | times(b));
            } else {
                px.insert(px.end(), {r, g, b});
                pic.set(x, y, std::uint32_t{r} << 16 | std::uint32_t{g} << 8 | b);
            }
        }
    return {name + ".jpg", "jpeg", jpeg_file(l, px), pic, tolerance, {}};
}

Layout layout(J_COLOR_SPACE in, J_COLOR_SPACE stored, bool progressive = false) {
    Layout l;
    l.in = in;
    l.stored = stored;
    l.progressive = progressive;
    return l;
}

} // namespace

std::vector<ImageSample> JpegSamples() {
    std::vector<ImageSample> s;
    s.push_back(sample("baseline-rgb", layout(JCS_RGB, JCS_YCbCr), 4));
    s.push_back(sample("progressive-rgb", layout(JCS_RGB, JCS_YCbCr, true), 4));
    Layout sub = layout(JCS_RGB, JCS_YCbCr);
    sub.subsampled = true;
    sub.width = 13;
    sub.height = 11;
    s.push_back(sample("subsampled-13x11", sub, 16)); // colour at half resolution
    Layout restarts = layout(JCS_RGB, JCS_YCbCr, true);
    restarts.restart_rows = 1;
    s.push_back(sample("progressive-restart-markers", restarts, 4));
    s.push_back(sample("grey", layout(JCS_GRAYSCALE, JCS_GRAYSCALE), 2));
    s.push_back(sample("grey-progressive", layout(JCS_GRAYSCALE, JCS_GRAYSCALE, true), 2));
    s.push_back(sample("cmyk-adobe", layout(JCS_CMYK, JCS_CMYK), 4));
    s.push_back(sample("ycck-adobe", layout(JCS_CMYK, JCS_YCCK), 4));

    const auto base = s[0].bytes;
    s.push_back(Damaged("cut-in-scan", "jpeg",
                        {base.begin(), base.begin() + static_cast<std::ptrdiff_t>(base.size() / 2)},
                        "truncated image data"));
    s.push_back(Damaged("no-end-marker", "jpeg", {base.begin(), base.end() - 2}, "truncated image data"));
    // The frame header's size fields, found from its marker.
    std::vector<std::uint8_t> huge = base, empty = base;
    for (std::size_t i = 2; i + 8 < base.size(); ++i)
        if (base[i] == 0xFF && base[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 0xEA; // 60000 x 60000
            huge[i + 6] = huge[i + 8] = 0x60;
            empty[i + 7] = empty[i + 8] = 0; // width 0
            break;
        }
    s.push_back(Damaged("60000x60000", "jpeg", huge, "image too large"));
    s.push_back(Damaged("width-0", "jpeg", empty, "Empty JPEG image"));
    // A scan whose components name Huffman tables 3, which the file never defines.
    std::vector<std::uint8_t> undefined = base;
    for (std::size_t i = 2; i + 4 < base.size(); ++i)
        if (base[i] == 0xFF && base[i + 1] == 0xDA) {
            for (std::size_t k = 0; k < base[i + 4]; ++k)
                undefined[i + 6 + 2 * k] = 0x33;
            break;
        }
    s.push_back(Damaged("scan-names-undefined-huffman-table", "jpeg", undefined, "was not defined"));
    return s;
}

} // namespace kl::samples
