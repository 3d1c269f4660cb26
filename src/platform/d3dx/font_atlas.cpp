// Shelf packing of glyph images.
#include "platform/d3dx/font_atlas.h"

namespace kl::d3dx {

namespace {
constexpr int kGap = 1;
} // namespace

bool ShelfPacker::Place(int width, int height, int* x, int* y) {
    if (width <= 0 || height <= 0) return false;
    const int w = width + kGap, h = height + kGap;
    if (w > width_ || h > height_) return false;
    // The lowest shelf that is tall enough and has room; a much taller shelf would waste its height.
    Shelf* best = nullptr;
    for (Shelf& s : shelves_)
        if (s.height >= h && s.height <= h + h / 2 + 2 && width_ - s.used >= w &&
            (best == nullptr || s.height < best->height))
            best = &s;
    if (best == nullptr && height_ - next_y_ >= h) {
        shelves_.push_back({next_y_, h, 0});
        next_y_ += h;
        best = &shelves_.back();
    }
    // No room below: any shelf that can hold it, however tall.
    for (Shelf& s : shelves_)
        if (best == nullptr && s.height >= h && width_ - s.used >= w) best = &s;
    if (best == nullptr) return false;
    *x = best->used;
    *y = best->y;
    best->used += w;
    return true;
}

void ShelfPacker::Clear() {
    shelves_.clear();
    next_y_ = 0;
}

} // namespace kl::d3dx
