// The field checks and the aspect-ratio text turned into a number.
#include "app/field_checks.h"

#include "engine/fixed_text.h"
#include "engine/number_text.h"
#include "fault/fault.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace kl {

std::optional<float> AspectRatioValue(std::string_view text) {
    std::string comma(text);
    std::replace(comma.begin(), comma.end(), '.', ',');
    FixedText<7> kept;
    kept = comma;
    try {
        const float value = number_text_to_single(kept.str(), ',');
        if (std::isfinite(value) && value > 0.0f) return value;
    } catch (const Fault&) {
    }
    return std::nullopt;
}

bool IsWholeNumberIn(std::string_view text, std::int64_t low, std::int64_t high) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    // Eighteen digits cannot overflow the sum below.
    if (text.empty() || text.size() > 18) return false;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= low && value <= high;
}

} // namespace kl
