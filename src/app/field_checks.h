// What the settings dialog accepts in its fields, and the aspect ratio a typed or stored text gives
// the picture.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kl {

// The aspect ratio of a text as the program keeps it: a "." becomes the "," the settings file uses,
// and only the first seven characters are kept. Nothing unless the value is a positive finite
// number: zero, a negative or a text that is not a number would give a flat or mirrored picture.
std::optional<float> AspectRatioValue(std::string_view text);

// True for digits only (blanks around them allowed) whose value lies from low to high.
bool IsWholeNumberIn(std::string_view text, std::int64_t low, std::int64_t high);

} // namespace kl
