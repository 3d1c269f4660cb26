// Painting the icon on a unit canvas: sky, two rows of buildings, the road narrowing to the horizon
// with its lane marks, and a red car in the near lane.
#include "icon.h"

#include "canvas.h"
#include "jpeg_writer.h"

#include <cmath>
#include <string>

namespace kl::data {

namespace {

constexpr float kHorizon = 0.52f;

// The road's half width at height y: zero at the vanishing point, the full width at the bottom.
float road_half(float y) {
    return 0.46f * (y - kHorizon) / (1.0f - kHorizon);
}

Image paint_icon(int size) {
    Image image(size, size);
    Canvas c(image, 1.0f, 1.0f);
    c.apply([](float, float y, Rgb) { return lerp(rgb8(70, 130, 210), rgb8(185, 215, 240), y / kHorizon); });
    c.rect(0.0f, kHorizon, 1.0f, 1.0f, rgb8(96, 110, 84));
    // Buildings on both sides, shorter toward the middle as they recede.
    const Rgb walls[] = {rgb8(150, 120, 100), rgb8(190, 175, 150), rgb8(120, 110, 120)};
    for (int i = 0; i < 3; ++i) {
        const float x = 0.05f + 0.12f * static_cast<float>(i), top = 0.12f + 0.11f * static_cast<float>(i);
        c.rect(x - 0.05f, top, x + 0.08f, kHorizon + 0.02f, walls[i]);
        c.rect(0.95f - x - 0.08f, top + 0.03f, 0.95f - x + 0.05f, kHorizon + 0.02f, walls[2 - i]);
        for (float wy = top + 0.04f; wy < kHorizon - 0.04f; wy += 0.07f) {
            c.rect(x - 0.03f, wy, x + 0.06f, wy + 0.03f, rgb8(60, 70, 90), 0.7f);
            c.rect(0.95f - x - 0.06f, wy + 0.03f, 0.95f - x + 0.03f, wy + 0.06f, rgb8(60, 70, 90), 0.7f);
        }
    }
    c.shape(
        0.0f, kHorizon, 1.0f, 1.0f, [](float x, float y) { return std::fabs(x - 0.5f) < road_half(y); },
        rgb8(70, 70, 74));
    // Two dashed lines part the road into three lanes.
    for (float lane : {-1.0f / 3.0f, 1.0f / 3.0f})
        c.shape(
            0.0f, kHorizon, 1.0f, 1.0f,
            [lane](float x, float y) {
                const float d = (y - kHorizon) / (1.0f - kHorizon);
                return std::fabs(x - 0.5f - lane * road_half(y)) < 0.012f * d + 0.002f &&
                       std::fmod(std::sqrt(d) * 6.0f, 1.0f) < 0.55f;
            },
            rgb8(235, 235, 225));
    // The car: body, roof and windscreen, seen from behind.
    c.rect(0.56f, 0.74f, 0.84f, 0.88f, rgb8(200, 30, 36));
    c.rect(0.60f, 0.66f, 0.80f, 0.75f, rgb8(170, 24, 30));
    c.rect(0.62f, 0.68f, 0.78f, 0.73f, rgb8(40, 50, 70));
    c.rect(0.57f, 0.78f, 0.62f, 0.81f, rgb8(255, 200, 60));
    c.rect(0.78f, 0.78f, 0.83f, 0.81f, rgb8(255, 200, 60));
    c.rect(0.57f, 0.88f, 0.63f, 0.92f, rgb8(20, 20, 20));
    c.rect(0.77f, 0.88f, 0.83f, 0.92f, rgb8(20, 20, 20));
    return image;
}

} // namespace

std::vector<DataFile> build_icons() {
    std::vector<DataFile> icons;
    for (int size : kIconSizes)
        icons.push_back({"kelvane3d-" + std::to_string(size) + ".png", encode_png(paint_icon(size))});
    return icons;
}

} // namespace kl::data
