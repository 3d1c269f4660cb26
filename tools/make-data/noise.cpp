// Seeded generator and lattice value noise with wrap-around for tileable textures.
#include "noise.h"

#include <cmath>

namespace kl::data {

namespace {

std::uint64_t mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

float lattice(int ix, int iy, std::uint64_t seed) {
    const std::uint64_t h = mix(seed ^ mix(static_cast<std::uint64_t>(static_cast<std::uint32_t>(ix)) << 32 |
                                           static_cast<std::uint32_t>(iy)));
    return static_cast<float>(h >> 40) / static_cast<float>(1ULL << 24);
}

int wrap(int i, int period) {
    const int m = i % period;
    return m < 0 ? m + period : m;
}

float smooth(float t) {
    return t * t * (3.0f - 2.0f * t);
}

} // namespace

std::uint64_t Rng::next() {
    state_ += 0x9e3779b97f4a7c15ULL;
    return mix(state_);
}

float Rng::uniform() {
    return static_cast<float>(next() >> 40) / static_cast<float>(1ULL << 24);
}

int Rng::pick(int lo, int hi) {
    return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1));
}

std::uint64_t seed_of(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    return mix(mix(mix(a + 0x51ed2701ULL) ^ b) ^ c);
}

float value_noise(float x, float y, int period_x, int period_y, std::uint64_t seed) {
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const float tx = smooth(x - fx), ty = smooth(y - fy);
    const int x0 = wrap(ix, period_x), x1 = wrap(ix + 1, period_x);
    const int y0 = wrap(iy, period_y), y1 = wrap(iy + 1, period_y);
    const float a = lattice(x0, y0, seed), b = lattice(x1, y0, seed);
    const float c = lattice(x0, y1, seed), d = lattice(x1, y1, seed);
    const float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

float fractal_noise(float x, float y, int period_x, int period_y, int octaves, std::uint64_t seed) {
    float sum = 0, weight = 1, total = 0;
    for (int o = 0; o < octaves; ++o) {
        const int scale = 1 << o;
        sum += weight * value_noise(x * static_cast<float>(scale), y * static_cast<float>(scale),
                                    period_x * scale, period_y * scale, seed + static_cast<std::uint64_t>(o));
        total += weight;
        weight *= 0.5f;
    }
    return sum / total;
}

} // namespace kl::data
