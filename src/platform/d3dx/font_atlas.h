// Places glyph images in a texture: shelves of rows filled left to right, each new shelf below the
// last, one texel of gap around every image.
#pragma once

#include <vector>

namespace kl::d3dx {

class ShelfPacker {
  public:
    ShelfPacker(int width, int height) : width_(width), height_(height) {}

    // Top-left corner of a free width x height area; false when the texture has no room for it.
    bool Place(int width, int height, int* x, int* y);
    void Clear();
    int Width() const { return width_; }
    int Height() const { return height_; }

  private:
    struct Shelf {
        int y = 0, height = 0, used = 0;
    };
    int width_, height_;
    std::vector<Shelf> shelves_;
    int next_y_ = 0;
};

} // namespace kl::d3dx
