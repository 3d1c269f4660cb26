// Coverage-based drawing of rectangles and sampled shapes in metric coordinates.
#include "canvas.h"

#include <algorithm>
#include <cmath>

namespace kl::data {

Canvas::Canvas(Image& image, float width_m, float height_m)
    : image_(image), width_m_(width_m), height_m_(height_m),
      px_per_m_x_(static_cast<float>(image.width()) / width_m),
      px_per_m_y_(static_cast<float>(image.height()) / height_m) {}

void Canvas::fill(Rgb c) {
    for (int y = 0; y < image_.height(); ++y)
        for (int x = 0; x < image_.width(); ++x)
            image_.at(x, y) = c;
}

void Canvas::rect(float x0, float y0, float x1, float y1, Rgb c, float opacity) {
    const float px0 = x0 * px_per_m_x_, px1 = x1 * px_per_m_x_;
    const float py0 = y0 * px_per_m_y_, py1 = y1 * px_per_m_y_;
    const int ix0 = std::max(0, static_cast<int>(std::floor(px0)));
    const int ix1 = std::min(image_.width() - 1, static_cast<int>(std::ceil(px1)) - 1);
    const int iy0 = std::max(0, static_cast<int>(std::floor(py0)));
    const int iy1 = std::min(image_.height() - 1, static_cast<int>(std::ceil(py1)) - 1);
    for (int y = iy0; y <= iy1; ++y) {
        const float cy = std::min(py1, static_cast<float>(y + 1)) - std::max(py0, static_cast<float>(y));
        if (cy <= 0) continue;
        for (int x = ix0; x <= ix1; ++x) {
            const float cx = std::min(px1, static_cast<float>(x + 1)) - std::max(px0, static_cast<float>(x));
            if (cx <= 0) continue;
            Rgb& p = image_.at(x, y);
            p = lerp(p, c, cx * cy * opacity);
        }
    }
}

void Canvas::shape(float x0, float y0, float x1, float y1, const std::function<bool(float, float)>& inside,
                   Rgb c, float opacity) {
    const int ix0 = std::max(0, static_cast<int>(std::floor(x0 * px_per_m_x_)));
    const int ix1 = std::min(image_.width() - 1, static_cast<int>(std::ceil(x1 * px_per_m_x_)));
    const int iy0 = std::max(0, static_cast<int>(std::floor(y0 * px_per_m_y_)));
    const int iy1 = std::min(image_.height() - 1, static_cast<int>(std::ceil(y1 * px_per_m_y_)));
    constexpr int kSub = 4;
    for (int y = iy0; y <= iy1; ++y) {
        for (int x = ix0; x <= ix1; ++x) {
            int hits = 0;
            for (int sy = 0; sy < kSub; ++sy)
                for (int sx = 0; sx < kSub; ++sx) {
                    const float mx =
                        (static_cast<float>(x) + (static_cast<float>(sx) + 0.5f) / kSub) / px_per_m_x_;
                    const float my =
                        (static_cast<float>(y) + (static_cast<float>(sy) + 0.5f) / kSub) / px_per_m_y_;
                    if (inside(mx, my)) ++hits;
                }
            if (hits == 0) continue;
            Rgb& p = image_.at(x, y);
            p = lerp(p, c, opacity * static_cast<float>(hits) / (kSub * kSub));
        }
    }
}

void Canvas::arch(float x0, float y_top, float x1, float y_bottom, Rgb c) {
    const float r = (x1 - x0) / 2, cx = (x0 + x1) / 2, spring = y_top + r;
    shape(
        x0, y_top, x1, y_bottom,
        [=](float x, float y) {
            if (x < x0 || x > x1 || y > y_bottom || y < y_top) return false;
            if (y >= spring) return true;
            return (x - cx) * (x - cx) + (y - spring) * (y - spring) <= r * r;
        },
        c);
}

void Canvas::apply(const std::function<Rgb(float, float, Rgb)>& f) {
    apply_in(0, 0, width_m_, height_m_, f);
}

void Canvas::apply_in(float x0, float y0, float x1, float y1,
                      const std::function<Rgb(float, float, Rgb)>& f) {
    const int ix0 = std::max(0, static_cast<int>(std::floor(x0 * px_per_m_x_ - 0.5f)));
    const int ix1 = std::min(image_.width() - 1, static_cast<int>(std::ceil(x1 * px_per_m_x_)));
    const int iy0 = std::max(0, static_cast<int>(std::floor(y0 * px_per_m_y_ - 0.5f)));
    const int iy1 = std::min(image_.height() - 1, static_cast<int>(std::ceil(y1 * px_per_m_y_)));
    for (int y = iy0; y <= iy1; ++y)
        for (int x = ix0; x <= ix1; ++x) {
            const float mx = (static_cast<float>(x) + 0.5f) / px_per_m_x_;
            const float my = (static_cast<float>(y) + 0.5f) / px_per_m_y_;
            if (mx < x0 || mx > x1 || my < y0 || my > y1) continue;
            image_.at(x, y) = f(mx, my, image_.at(x, y));
        }
}

} // namespace kl::data
