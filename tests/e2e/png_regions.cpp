// Colour summary of rectangles of a PNG, for the end-to-end tests' checks on a screenshot.
// Usage: png_regions FILE [X0 Y0 X1 Y1]...   (X1 and Y1 exclusive)
// Prints "size W H", then per rectangle "R G B WHITE GREY COLOURFUL": the mean channel values
// (0-255) and, per mille of its pixels, the near-white ones (every channel 240 or more), the dark-to-middle
// neutral greys and the strongly coloured ones. Exit status 1 when the file cannot be decoded or a rectangle
// is empty or outside the image.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stb_image.h>
#include <string>

namespace {

struct Summary {
    double r = 0, g = 0, b = 0;
    long white = 0, grey = 0, colourful = 0, count = 0;
};

Summary summarise(const unsigned char* px, int width, int x0, int y0, int x1, int y1) {
    Summary s;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const unsigned char* p = px + (static_cast<long>(y) * width + x) * 3;
            const int lo = std::min({p[0], p[1], p[2]});
            const int hi = std::max({p[0], p[1], p[2]});
            s.r += p[0];
            s.g += p[1];
            s.b += p[2];
            if (lo >= 240) ++s.white;
            if (hi - lo <= 24 && hi >= 25 && hi <= 150) ++s.grey;
            if (hi - lo >= 60) ++s.colourful;
            ++s.count;
        }
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || (argc - 2) % 4 != 0) {
        std::fprintf(stderr, "usage: png_regions FILE [X0 Y0 X1 Y1]...\n");
        return 2;
    }
    int width = 0, height = 0, channels = 0;
    unsigned char* px = stbi_load(argv[1], &width, &height, &channels, 3);
    if (px == nullptr) {
        std::fprintf(stderr, "%s: %s\n", argv[1], stbi_failure_reason());
        return 1;
    }
    std::printf("size %d %d\n", width, height);
    int status = 0;
    for (int i = 2; i + 3 < argc; i += 4) {
        const int x0 = std::atoi(argv[i]), y0 = std::atoi(argv[i + 1]);
        const int x1 = std::atoi(argv[i + 2]), y1 = std::atoi(argv[i + 3]);
        if (x0 < 0 || y0 < 0 || x1 > width || y1 > height || x0 >= x1 || y0 >= y1) {
            std::fprintf(stderr, "rectangle %d %d %d %d is empty or outside the image\n", x0, y0, x1, y1);
            status = 1;
            continue;
        }
        const Summary s = summarise(px, width, x0, y0, x1, y1);
        const double n = static_cast<double>(s.count);
        std::printf("%d %d %d %ld %ld %ld\n", static_cast<int>(s.r / n), static_cast<int>(s.g / n),
                    static_cast<int>(s.b / n), s.white * 1000 / s.count, s.grey * 1000 / s.count,
                    s.colourful * 1000 / s.count);
    }
    stbi_image_free(px);
    return status;
}
