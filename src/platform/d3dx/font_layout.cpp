// Layout of text lines in a rectangle and clipping of glyph quads.
#include "platform/d3dx/font_layout.h"

#include <algorithm>
#include <cstdint>

namespace kl::d3dx {

std::vector<PlacedLine> LayOutLines(const std::vector<char32_t>& text, const std::vector<int>& advances,
                                    int line_height, const gfx::Rect& rect, gfx::Dword format) {
    std::vector<PlacedLine> lines(1);
    const bool single = (format & dt::SingleLine) != 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (!single && (c == U'\n' || c == U'\r')) {
            if (c == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
            lines.push_back({0, 0, 0, i + 1, 0});
            continue;
        }
        PlacedLine& line = lines.back();
        line.width += i < advances.size() ? advances[i] : 0;
        ++line.count;
    }
    // In 64 bits: rectangles near the ends of the int range must not overflow.
    const std::int64_t left = rect.left, right = rect.right, top = rect.top, bottom = rect.bottom;
    const std::int64_t block = std::int64_t{line_height} * static_cast<std::int64_t>(lines.size());
    std::int64_t y = top;
    if ((format & dt::Bottom) != 0)
        y = bottom - block;
    else if ((format & dt::VCenter) != 0)
        y = top + (bottom - top - block) / 2;
    for (PlacedLine& line : lines) {
        std::int64_t x = left;
        if ((format & dt::Right) != 0)
            x = right - line.width;
        else if ((format & dt::Center) != 0)
            x = left + (right - left - line.width) / 2;
        line.x = static_cast<int>(std::clamp<std::int64_t>(x, INT32_MIN, INT32_MAX));
        line.top = static_cast<int>(std::clamp<std::int64_t>(y, INT32_MIN, INT32_MAX));
        y += line_height;
    }
    return lines;
}

bool ClipQuad(GlyphQuad* q, const gfx::Rect& clip) {
    const auto cl = static_cast<float>(clip.left), cr = static_cast<float>(clip.right);
    const auto ct = static_cast<float>(clip.top), cb = static_cast<float>(clip.bottom);
    if (q->x1 <= cl || q->x0 >= cr || q->y1 <= ct || q->y0 >= cb || q->x0 >= q->x1 || q->y0 >= q->y1)
        return false;
    const float du = (q->u1 - q->u0) / (q->x1 - q->x0), dv = (q->v1 - q->v0) / (q->y1 - q->y0);
    if (q->x0 < cl) {
        q->u0 += (cl - q->x0) * du;
        q->x0 = cl;
    }
    if (q->x1 > cr) {
        q->u1 -= (q->x1 - cr) * du;
        q->x1 = cr;
    }
    if (q->y0 < ct) {
        q->v0 += (ct - q->y0) * dv;
        q->y0 = ct;
    }
    if (q->y1 > cb) {
        q->v1 -= (q->y1 - cb) * dv;
        q->y1 = cb;
    }
    return true;
}

} // namespace kl::d3dx
