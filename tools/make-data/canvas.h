// Painting in metres: a canvas maps a piece of wall or road of a given physical size onto an image,
// so that the painters can say "a window 1.2 m wide, 0.9 m above the floor" and get soft edges.
#pragma once

#include "image.h"

#include <functional>

namespace kl::data {

class Canvas {
  public:
    // x runs right, y runs down from the top edge, both in metres.
    Canvas(Image& image, float width_m, float height_m);

    float width() const { return width_m_; }
    float height() const { return height_m_; }
    Image& image() { return image_; }

    void fill(Rgb c);
    // Rectangle with exact pixel coverage on its edges; opacity blends it over what is there.
    void rect(float x0, float y0, float x1, float y1, Rgb c, float opacity = 1.0f);
    // Any shape given by an inside test over its bounding box, sampled 4 x 4 per pixel.
    void shape(float x0, float y0, float x1, float y1, const std::function<bool(float, float)>& inside, Rgb c,
               float opacity = 1.0f);
    // Rectangle topped by a half circle spanning its width: arched windows and doorways.
    void arch(float x0, float y_top, float x1, float y_bottom, Rgb c);
    // Changes every pixel through f(x_m, y_m, colour).
    void apply(const std::function<Rgb(float, float, Rgb)>& f);
    // The same for the pixels whose centres lie inside the rectangle.
    void apply_in(float x0, float y0, float x1, float y1, const std::function<Rgb(float, float, Rgb)>& f);

  private:
    Image& image_;
    float width_m_, height_m_;
    float px_per_m_x_, px_per_m_y_;
};

} // namespace kl::data
