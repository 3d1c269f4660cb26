// Linear RGB colours in 0..1 that the texture painters mix before quantising to bytes.
#pragma once

#include <algorithm>

namespace kl::data {

struct Rgb {
    float r = 0, g = 0, b = 0;
};

inline Rgb operator+(Rgb a, Rgb b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
inline Rgb operator-(Rgb a, Rgb b) {
    return {a.r - b.r, a.g - b.g, a.b - b.b};
}
inline Rgb operator*(Rgb a, float s) {
    return {a.r * s, a.g * s, a.b * s};
}
inline Rgb operator*(Rgb a, Rgb b) {
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}
inline Rgb lerp(Rgb a, Rgb b, float t) {
    return a + (b - a) * t;
}
inline Rgb gray(float v) {
    return {v, v, v};
}
inline Rgb clamped(Rgb c) {
    return {std::clamp(c.r, 0.0f, 1.0f), std::clamp(c.g, 0.0f, 1.0f), std::clamp(c.b, 0.0f, 1.0f)};
}
// Bytes 0..255 written the way colour pickers show them.
inline Rgb rgb8(int r, int g, int b) {
    return {static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f, static_cast<float>(b) / 255.0f};
}

} // namespace kl::data
