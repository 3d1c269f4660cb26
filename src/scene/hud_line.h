// The status line: frame rate, gear, position and speed, in the formats the overlay has always
// used, with the decimal separator of the user's regional settings.
#pragma once

#include "engine/records.h"

#include <cstdint>
#include <string>

namespace kl::scene {

// The decimal separator of the user's regional settings (LC_NUMERIC), "." when none is set.
char UserDecimalSeparator();

// A number with exactly `decimals` digits after the separator and at least one before it.
std::string FormatFixed(double value, int decimals, char separator);
// A 32-bit float in its shortest form with at most 7 significant digits: no trailing zeros, no
// separator for whole numbers, exponent form for very large or small values.
std::string FormatSingle(float value, char separator);

std::string BuildHudLine(double Rate, std::int16_t Gear, const Vec3& Position, float PlayerSpeed,
                         char separator);

} // namespace kl::scene
