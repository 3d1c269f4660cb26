// How far two screenshots differ, for the end-to-end tests.
// Usage: png_difference A B
// Prints "differing N of T, by more than one level M, largest channel difference D, largest block
// change B": N pixels differ in any channel, M of them by more than one level in some channel (a
// filtered texel rounded the other way moves a channel by one), D is the largest difference of one
// channel of one pixel, and B the largest difference
// of one channel between the mean colours of the two pictures over an 8x8 block. A texel lookup that
// lands on the other side of a texel edge changes single pixels; a missing or misplaced object
// changes whole blocks. Exit status 1 when a file cannot be decoded or the sizes differ.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stb_image.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: png_difference A B\n");
        return 1;
    }
    int wa = 0, ha = 0, wb = 0, hb = 0, channels = 0;
    unsigned char* a = stbi_load(argv[1], &wa, &ha, &channels, 3);
    unsigned char* b = stbi_load(argv[2], &wb, &hb, &channels, 3);
    if (a == nullptr || b == nullptr || wa != wb || ha != hb) {
        std::fprintf(stderr, "png_difference: %s\n",
                     a == nullptr || b == nullptr ? stbi_failure_reason() : "the pictures differ in size");
        stbi_image_free(a);
        stbi_image_free(b);
        return 1;
    }
    std::vector<char> differs(static_cast<std::size_t>(wa) * static_cast<std::size_t>(ha), 0);
    long count = 0, beyond_rounding = 0;
    int largest = 0;
    for (std::size_t i = 0; i < differs.size(); ++i) {
        int pixel_largest = 0;
        for (int c = 0; c < 3; ++c) {
            const int d = std::abs(int{a[i * 3 + c]} - int{b[i * 3 + c]});
            pixel_largest = std::max(pixel_largest, d);
            if (d != 0) differs[i] = 1;
        }
        largest = std::max(largest, pixel_largest);
        count += differs[i];
        beyond_rounding += pixel_largest > 1 ? 1 : 0;
    }
    constexpr int kBlock = 8;
    double block_change = 0;
    for (int by = 0; by < ha; by += kBlock) {
        for (int bx = 0; bx < wa; bx += kBlock) {
            double sum[3] = {0, 0, 0};
            int pixels = 0;
            for (int y = by; y < std::min(by + kBlock, ha); ++y)
                for (int x = bx; x < std::min(bx + kBlock, wa); ++x, ++pixels)
                    for (int c = 0; c < 3; ++c) {
                        const std::size_t at = (static_cast<std::size_t>(y) * wa + x) * 3 + c;
                        sum[c] += int{a[at]} - int{b[at]};
                    }
            for (int c = 0; c < 3; ++c)
                block_change = std::max(block_change, std::fabs(sum[c]) / pixels);
        }
    }
    std::printf("differing %ld of %zu, by more than one level %ld, largest channel difference %d, largest "
                "block change %.1f\n",
                count, differs.size(), beyond_rounding, largest, block_change);
    stbi_image_free(a);
    stbi_image_free(b);
    return 0;
}
