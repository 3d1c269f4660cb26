// The device font: a system font's glyphs in a texture of the device's default pool, drawn as
// textured screen quads into a rectangle with alignment flags and a colour. A device reset takes
// the texture away; the font is then released and made again from its system font.
#pragma once

#include "platform/d3dx/font_atlas.h"
#include "platform/d3dx/font_face.h"
#include "platform/d3dx/font_layout.h"
#include "platform/gfx/device.h"

#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kl::d3dx {

// Atlas sides: the first texture, and the largest it grows to before old glyphs are dropped.
constexpr int kFirstAtlasSide = 256;
constexpr int kMaxAtlasSide = 2048;

class DeviceFont {
  public:
    // InvalidCall without a device; the device's status when it refuses the texture.
    static platform::Status Create(const gfx::DevicePtr& device, const SystemFont& font,
                                   std::unique_ptr<DeviceFont>* out);

    // Draws the first `count` bytes of text (count < 0: the whole text) in rect, aligned by format
    // (see dt), in an ARGB colour, blending over what is there. The device's states are as they
    // were afterwards. Returns the height of the text block, 0 when nothing could be drawn (no
    // rectangle, a failing device or a texture lost in a reset).
    int DrawText(std::string_view text, int count, const gfx::Rect* rect, gfx::Dword format,
                 gfx::Dword color);

    const FontFace& Face() const { return *face_; }
    const gfx::TexturePtr& Texture() const { return atlas_; }

  private:
    struct Slot {
        int x = 0, y = 0;
    };
    DeviceFont(gfx::DevicePtr device, std::shared_ptr<FontFace> face)
        : device_(std::move(device)), face_(std::move(face)) {}

    platform::Status make_atlas(int side);
    // Puts the glyphs of the text into the texture; false when the texture cannot be written.
    bool load_glyphs(const std::vector<const GlyphImage*>& glyphs);
    bool write_glyphs(const std::vector<const GlyphImage*>& glyphs);
    void add_quad(const GlyphQuad& quad, gfx::Dword color, const gfx::Rect* clip);
    bool draw_vertices();

    gfx::DevicePtr device_;
    std::shared_ptr<FontFace> face_;
    gfx::TexturePtr atlas_;
    ShelfPacker packer_{0, 0};
    Slot solid_;
    std::unordered_map<const GlyphImage*, Slot> slots_;

    struct Vertex {
        float x, y, z, rhw;
        gfx::Dword color;
        float u, v;
    };
    static_assert(sizeof(Vertex) == 28);
    // Kept between calls so that a line drawn every frame allocates nothing.
    std::vector<char32_t> text_;
    std::vector<const GlyphImage*> glyphs_;
    std::vector<int> advances_;
    std::vector<Vertex> vertices_;
};

} // namespace kl::d3dx
