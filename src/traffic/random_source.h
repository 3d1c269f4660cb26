// The program's one pseudo-random generator: uniform numbers in [0, 1), seeded once per run.
#pragma once

#include <cstdint>

namespace kl {

// Where the scene takes its uniform numbers in [0, 1) from; tests script them.
class UniformSource {
  public:
    virtual ~UniformSource() = default;
    virtual double next() = 0;
};

// SplitMix64 (Steele, Lea and Flood, "Fast splittable pseudorandom number generators", 2014): a
// 64-bit counter advanced by the golden-ratio constant and passed through a fixed bit mixer. Each
// number is the top 53 bits of one output scaled by 2^-53, so it is a double in [0, 1) that can be
// exactly 0 but never 1. The same seed always gives the same sequence, on every platform.
class RandomSource final : public UniformSource {
  public:
    explicit RandomSource(std::uint64_t initial = 0) : State(initial) {}

    void seed(std::uint64_t value) { State = value; }
    double next() override;

  private:
    std::uint64_t State;
};

} // namespace kl
