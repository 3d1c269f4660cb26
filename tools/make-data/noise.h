// Reproducible randomness for the painters: a seeded generator and tileable value noise. Nothing
// here reads the clock or the system's random device, so every run paints the same pixels.
#pragma once

#include <cstdint>

namespace kl::data {

// SplitMix64: small, fast and identical on every platform.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    // Uniform in [0, 1).
    float uniform();
    float range(float lo, float hi) { return lo + (hi - lo) * uniform(); }
    // Uniform integer in [lo, hi].
    int pick(int lo, int hi);

  private:
    std::uint64_t state_;
};

// Mixes integers into one seed, so that each texture and each element gets its own stream.
std::uint64_t seed_of(std::uint64_t a, std::uint64_t b = 0, std::uint64_t c = 0);

// Smooth value noise in [0, 1] that repeats every period_x cells along x and period_y along y.
float value_noise(float x, float y, int period_x, int period_y, std::uint64_t seed);

// Sum of octaves of value_noise, each with twice the frequency and half the weight, still in [0, 1]
// and still repeating over the base periods.
float fractal_noise(float x, float y, int period_x, int period_y, int octaves, std::uint64_t seed);

} // namespace kl::data
