// Where the lines of a text go inside a rectangle under the text-drawing format flags, and the
// clipping of glyph quads to that rectangle.
#pragma once

#include "platform/gfx/types.h"

#include <cstddef>
#include <vector>

namespace kl::d3dx {

// Text-drawing format flags. Horizontal and vertical values are added.
namespace dt {
constexpr gfx::Dword Top = 0x0, Left = 0x0, Center = 0x1, Right = 0x2, VCenter = 0x4, Bottom = 0x8;
// Line breaks are drawn as nothing instead of starting a new line.
constexpr gfx::Dword SingleLine = 0x20;
// Glyphs outside the rectangle are drawn too.
constexpr gfx::Dword NoClip = 0x100;
} // namespace dt

struct PlacedLine {
    int x = 0, top = 0;               // left end and top of the line's cell
    int width = 0;                    // sum of the advances
    std::size_t first = 0, count = 0; // the line's characters in the text (line breaks left out)
};

// Lines of `text` (one advance per character) laid out in rect: CR LF, LF and CR end a line unless
// the format says single line; the block of lines is aligned as a whole vertically, each line on
// its own horizontally. A text without characters still has one (empty) line.
std::vector<PlacedLine> LayOutLines(const std::vector<char32_t>& text, const std::vector<int>& advances,
                                    int line_height, const gfx::Rect& rect, gfx::Dword format);

// A screen rectangle with the texture area drawn into it.
struct GlyphQuad {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
};

// Cuts the quad down to clip, moving its texture coordinates with it; false when nothing is left.
bool ClipQuad(GlyphQuad* quad, const gfx::Rect& clip);

} // namespace kl::d3dx
