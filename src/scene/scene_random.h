// The program's one random generator, seeded once per run by the program (seconds since midnight,
// or a seed it was given).
#pragma once

#include "traffic/random_source.h"

namespace kl::mdlKl {

inline RandomSource Rnd;

} // namespace kl::mdlKl
