// SplitMix64 step and its conversion to a double in [0, 1).
#include "traffic/random_source.h"

namespace kl {

double RandomSource::next() {
    State += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = State;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
}

} // namespace kl
