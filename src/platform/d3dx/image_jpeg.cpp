// JPEG through libjpeg-turbo: baseline, progressive, grey, CMYK and YCCK. stb_image, the earlier
// choice, reads Huffman tables a scan names but the file never defined from uninitialised memory, which
// a damaged file turned into a crash under the image fuzzer.
#include "platform/d3dx/image_decode.h"

#include <csetjmp>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

namespace kl::d3dx {

namespace {

// A progressive file may hold any number of scans, each a pass over the whole image; real ones
// have a dozen.
constexpr int kMostScans = 500;

struct Job {
    jpeg_decompress_struct c{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX] = "";
    std::vector<std::uint8_t> rgba, cmyk_row;
};

Job& job_of(j_common_ptr c) {
    return *static_cast<Job*>(c->client_data);
}

[[noreturn]] void stop(j_common_ptr c) {
    c->err->format_message(c, job_of(c).message);
    std::longjmp(job_of(c).jump, 1);
}

// Warnings that mean the decoder made pixels up (cut or damaged entropy-coded data) end the decode;
// the others (stray bytes between markers, unknown marker versions) leave the picture whole.
void on_message(j_common_ptr c, int level) {
    if (level >= 0) return;
    switch (c->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
        stop(c);
    default:
        return;
    }
}

void on_progress(j_common_ptr c) {
    const auto* d = reinterpret_cast<j_decompress_ptr>(c);
    if (d->input_scan_number > kMostScans) {
        std::snprintf(job_of(c).message, JMSG_LENGTH_MAX, "too many scans");
        std::longjmp(job_of(c).jump, 1);
    }
}

std::uint8_t times(std::uint8_t v, std::uint8_t k) {
    return static_cast<std::uint8_t>((v * k + 127) / 255);
}

// The decode proper; a libjpeg error comes back through the jump with Job::message set. Only Job
// (the caller's) changes after setjmp, so nothing here is left indeterminate by the jump.
bool run(Job& job, const std::uint8_t* data, std::size_t size, std::string* error) {
    if (setjmp(job.jump) != 0) {
        *error = job.message;
        return false;
    }
    jpeg_decompress_struct& c = job.c;
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, data, static_cast<unsigned long>(size));
    jpeg_read_header(&c, TRUE);
    if (!detail::image_size_ok(c.image_width, c.image_height, error)) return false;
    // Adobe's CMYK and YCCK files hold inverted inks: the colour is each ink times the black.
    const bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
    c.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    jpeg_start_decompress(&c);
    const std::size_t w = c.output_width;
    job.rgba.resize(w * c.output_height * 4);
    job.cmyk_row.resize(cmyk ? w * 4 : 0);
    while (c.output_scanline < c.output_height) {
        std::uint8_t* out = job.rgba.data() + std::size_t{c.output_scanline} * w * 4;
        JSAMPROW row = cmyk ? job.cmyk_row.data() : out;
        jpeg_read_scanlines(&c, &row, 1);
        if (!cmyk) continue;
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint8_t* ink = job.cmyk_row.data() + x * 4;
            out[x * 4] = times(ink[0], ink[3]);
            out[x * 4 + 1] = times(ink[1], ink[3]);
            out[x * 4 + 2] = times(ink[2], ink[3]);
            out[x * 4 + 3] = 255;
        }
    }
    jpeg_finish_decompress(&c);
    return true;
}

// A complete JPEG ends its scans with an end-of-image marker; the entropy-coded data cannot contain
// one, so a marker after the first scan header means the file was not cut short.
bool jpeg_complete(const std::uint8_t* d, std::size_t n, std::string* error) {
    std::size_t sos = 0;
    for (std::size_t i = 2; i + 1 < n; ++i)
        if (d[i] == 0xFF && d[i + 1] == 0xDA) {
            sos = i;
            break;
        }
    if (sos != 0)
        for (std::size_t i = n - 1; i > sos + 1; --i)
            if (d[i - 1] == 0xFF && d[i] == 0xD9) return true;
    *error = "truncated image data";
    return false;
}

} // namespace

bool DecodeJpeg(const std::uint8_t* data, std::size_t size, DecodedImage* image, std::string* error) {
    if (!jpeg_complete(data, size, error)) return false;
    Job job;
    job.c.err = jpeg_std_error(&job.errors);
    job.errors.error_exit = stop;
    job.errors.emit_message = on_message;
    job.progress.progress_monitor = on_progress;
    job.c.progress = &job.progress;
    job.c.client_data = &job;
    const bool ok = run(job, data, size, error);
    jpeg_destroy_decompress(&job.c);
    if (!ok) return false;
    image->width = static_cast<int>(job.c.output_width);
    image->height = static_cast<int>(job.c.output_height);
    image->rgba = std::move(job.rgba);
    return true;
}

} // namespace kl::d3dx
