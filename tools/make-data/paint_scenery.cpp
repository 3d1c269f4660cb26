// Sky, pavement, asphalt and plain white: the textures of everything but the buildings.
#include "canvas.h"
#include "dimensions.h"
#include "noise.h"
#include "painters.h"

#include <algorithm>
#include <cmath>

namespace kl::data {

Image paint_sky() {
    constexpr int kW = 1024, kH = 512;
    Image img(kW, kH);
    const Rgb zenith = rgb8(46, 98, 184), mid = rgb8(98, 152, 218), horizon = rgb8(206, 222, 236);
    const std::uint64_t seed = seed_of(1, 1);
    for (int y = 0; y < kH; ++y) {
        // v = 0 at the zenith, 1 at the horizon; elevation falls linearly with it.
        const float v = (static_cast<float>(y) + 0.5f) / kH;
        const float elevation = (1.0f - v) * 1.5707964f;
        Rgb sky =
            v < 0.6f ? lerp(zenith, mid, v / 0.6f) : lerp(mid, horizon, std::pow((v - 0.6f) / 0.4f, 1.4f));
        // Clouds lie on a flat layer: towards the horizon the same distance shrinks on the picture.
        const float depth = std::min(1.0f / (std::sin(elevation) + 0.08f), 12.0f);
        const float haze = std::clamp((v - 0.88f) / 0.12f, 0.0f, 1.0f);
        for (int x = 0; x < kW; ++x) {
            const float u = (static_cast<float>(x) + 0.5f) / kW;
            const float n = fractal_noise(u * 16.0f, depth * 3.0f, 16, 1 << 10, 5, seed);
            const float cover = std::clamp((n - 0.52f) / 0.16f, 0.0f, 1.0f) * (1.0f - haze);
            const float shade = fractal_noise(u * 32.0f, depth * 6.0f, 32, 1 << 11, 3, seed + 99);
            const Rgb cloud = lerp(rgb8(188, 194, 206), rgb8(252, 252, 250), 0.45f + 0.55f * shade);
            img.at(x, y) = lerp(sky, cloud, cover * 0.92f);
        }
    }
    return img;
}

Image paint_ground() {
    Image img(256, 256);
    Canvas c(img, kGroundTileSize, kGroundTileSize);
    constexpr int kSlabs = 8; // 0.5 m slabs
    constexpr float kSlab = kGroundTileSize / kSlabs;
    const std::uint64_t seed = seed_of(2);
    c.apply([&](float x, float y, Rgb) {
        const int sx = static_cast<int>(x / kSlab), sy = static_cast<int>(y / kSlab);
        Rng r(seed_of(seed, static_cast<std::uint64_t>(sx), static_cast<std::uint64_t>(sy)));
        const float tone = r.range(0.88f, 1.06f);
        const float grain =
            fractal_noise(x / kGroundTileSize * 32, y / kGroundTileSize * 32, 32, 32, 3, seed);
        return rgb8(168, 162, 150) * (tone * (0.9f + 0.2f * grain));
    });
    const Rgb joint = rgb8(96, 92, 86);
    for (int i = 0; i <= kSlabs; ++i) {
        const float p = static_cast<float>(i) * kSlab;
        c.rect(p - 0.012f, 0, p + 0.012f, kGroundTileSize, joint, 0.8f);
        c.rect(0, p - 0.012f, kGroundTileSize, p + 0.012f, joint, 0.8f);
    }
    return img;
}

Image paint_road() {
    Image img(512, 512);
    Canvas c(img, kRoadWidth, kRoadTileLength);
    const std::uint64_t seed = seed_of(3);
    const int period_x = 64, period_y = 55;
    c.apply([&](float x, float y, Rgb) {
        const float n =
            fractal_noise(x / kRoadWidth * static_cast<float>(period_x),
                          y / kRoadTileLength * static_cast<float>(period_y), period_x, period_y, 3, seed);
        const float speck = value_noise(x / kRoadWidth * 256, y / kRoadTileLength * 220, 256, 220, seed + 7);
        float tone = 0.2f + 0.05f * n + (speck > 0.82f ? 0.05f : 0.0f);
        // Wheels polish two faint tracks in each lane.
        for (int lane = 0; lane < kLanes; ++lane) {
            const float centre = kFirstLaneCentre + static_cast<float>(lane) * kLaneWidth;
            for (float side : {-0.8f, 0.8f})
                tone -= 0.018f * std::exp(-std::pow((x - centre - side) / 0.3f, 2.0f));
        }
        return Rgb{tone, tone, tone * 1.04f};
    });
    const Rgb kerb = rgb8(150, 148, 142), paint = rgb8(232, 232, 226);
    const float first_edge = kFirstLaneCentre - kLaneWidth / 2;
    const float last_edge = kFirstLaneCentre + (kLanes - 0.5f) * kLaneWidth;
    c.rect(0, 0, first_edge, kRoadTileLength, kerb);
    c.rect(kRoadWidth - 0.15f, 0, kRoadWidth, kRoadTileLength, kerb);
    constexpr float kLine = 0.15f;
    c.rect(first_edge + 0.05f, 0, first_edge + 0.05f + kLine, kRoadTileLength, paint);
    c.rect(last_edge - kLine / 2, 0, last_edge + kLine / 2, kRoadTileLength, paint);
    for (int lane = 1; lane < kLanes; ++lane) {
        const float x = first_edge + static_cast<float>(lane) * kLaneWidth;
        c.rect(x - kLine / 2, 4.5f, x + kLine / 2, 7.5f, paint); // 3 m dash, 9 m gap
    }
    // Wear on the paint, and an occasional darker patch of repaired asphalt.
    c.apply([&](float x, float y, Rgb p) {
        const float wear = value_noise(x / kRoadWidth * 128, y / kRoadTileLength * 110, 128, 110, seed + 3);
        return p.r > 0.5f ? p * (0.86f + 0.14f * wear) : p;
    });
    c.rect(9.0f, 1.0f, 11.2f, 2.4f, gray(0.15f), 0.45f);
    return img;
}

Image paint_white() {
    return Image(16, 16, Rgb{1, 1, 1});
}

} // namespace kl::data
