// Drawing text with a device font: glyphs rasterised once per face, packed once per texture, and
// every text drawn as one list of screen quads under the screen-triangle states, restored afterwards.
#include "platform/d3dx/font.h"

#include "platform/d3dx/font_text.h"
#include "platform/gfx/state_changes.h"

#include <algorithm>

namespace kl::d3dx {

using platform::Failed;
using platform::Status;

namespace {

constexpr gfx::Dword kFontFvf = gfx::fvf::XyzRhw | gfx::fvf::Diffuse | 0x100; // 324
// A block of full coverage at the atlas corner; underlines sample its middle texel.
constexpr int kSolidSide = 3;

} // namespace

Status DeviceFont::Create(const gfx::DevicePtr& device, const SystemFont& font,
                          std::unique_ptr<DeviceFont>* out) {
    if (out == nullptr) return Status::InvalidCall;
    out->reset();
    if (!device || !font.Face()) return Status::InvalidCall;
    std::unique_ptr<DeviceFont> f(new DeviceFont(device, font.Face()));
    if (const Status s = f->make_atlas(kFirstAtlasSide); Failed(s)) return s;
    *out = std::move(f);
    return Status::Ok;
}

Status DeviceFont::make_atlas(int side) {
    gfx::TexturePtr texture;
    const auto dw = static_cast<gfx::Dword>(side);
    if (const Status s = device_->CreateTexture(dw, dw, 1, gfx::UsageDynamic, gfx::FmtA8R8G8B8,
                                                gfx::PoolDefault, &texture);
        Failed(s))
        return s;
    if (!texture) return Status::OutOfMemory;
    gfx::LockedRect locked;
    const gfx::Rect corner{0, 0, kSolidSide, kSolidSide};
    if (const Status s = texture->LockRect(0, &locked, &corner, 0); Failed(s)) return s;
    for (int y = 0; y < kSolidSide; ++y) {
        auto* row = reinterpret_cast<gfx::Dword*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                  static_cast<std::ptrdiff_t>(y) * locked.Pitch);
        std::fill(row, row + kSolidSide, 0xFFFFFFFFu);
    }
    if (const Status s = texture->UnlockRect(0); Failed(s)) return s;
    atlas_ = std::move(texture);
    packer_ = ShelfPacker(side, side);
    packer_.Place(kSolidSide, kSolidSide, &solid_.x, &solid_.y);
    slots_.clear();
    return Status::Ok;
}

bool DeviceFont::load_glyphs(const std::vector<const GlyphImage*>& glyphs) {
    std::vector<const GlyphImage*> fresh;
    auto place_all = [&] {
        bool all = true;
        for (const GlyphImage* g : glyphs) {
            if (g->width <= 0 || slots_.contains(g)) continue;
            Slot s;
            if (!packer_.Place(g->width, g->height, &s.x, &s.y)) {
                all = false;
                continue;
            }
            slots_.emplace(g, s);
            fresh.push_back(g);
        }
        return all;
    };
    // When the text does not fit: larger textures while the limit allows, else the largest one
    // emptied. Only this text's glyphs go into the new texture; what does not fit even then is left out.
    bool done = place_all();
    for (int side = packer_.Width(); !done;) {
        const bool at_limit = side >= kMaxAtlasSide;
        side = std::min(side * 2, kMaxAtlasSide);
        if (Failed(make_atlas(side))) break;
        fresh.clear();
        done = place_all() || at_limit;
    }
    return write_glyphs(fresh);
}

bool DeviceFont::write_glyphs(const std::vector<const GlyphImage*>& glyphs) {
    gfx::LockedRect locked;
    if (glyphs.empty()) {
        // Nothing to write, but a texture a reset took away must not be drawn with.
        const gfx::Rect corner{0, 0, 1, 1};
        if (Failed(atlas_->LockRect(0, &locked, &corner, gfx::LockReadOnly))) return false;
        return Succeeded(atlas_->UnlockRect(0));
    }
    if (Failed(atlas_->LockRect(0, &locked, nullptr, 0))) return false;
    auto* base = static_cast<std::uint8_t*>(locked.pBits);
    for (const GlyphImage* g : glyphs) {
        const Slot& s = slots_.at(g);
        for (int y = 0; y < g->height; ++y) {
            auto* row =
                reinterpret_cast<gfx::Dword*>(base + static_cast<std::ptrdiff_t>(s.y + y) * locked.Pitch) +
                s.x;
            const std::uint8_t* src =
                g->coverage.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(g->width);
            for (int x = 0; x < g->width; ++x)
                row[x] = (gfx::Dword{src[x]} << 24) | 0x00FFFFFFu;
        }
    }
    return Succeeded(atlas_->UnlockRect(0));
}

void DeviceFont::add_quad(const GlyphQuad& quad, gfx::Dword color, const gfx::Rect* clip) {
    GlyphQuad q = quad;
    if (clip != nullptr && !ClipQuad(&q, *clip)) return;
    const Vertex a{q.x0, q.y0, 0, 1, color, q.u0, q.v0}, b{q.x1, q.y0, 0, 1, color, q.u1, q.v0};
    const Vertex c{q.x0, q.y1, 0, 1, color, q.u0, q.v1}, d{q.x1, q.y1, 0, 1, color, q.u1, q.v1};
    vertices_.insert(vertices_.end(), {a, b, c, b, d, c});
}

int DeviceFont::DrawText(std::string_view text, int count, const gfx::Rect* rect, gfx::Dword format,
                         gfx::Dword color) {
    if (rect == nullptr || !atlas_) return 0;
    DecodeFontText(text, count, &text_);
    glyphs_.clear();
    advances_.clear();
    for (char32_t c : text_) {
        const GlyphImage& g = face_->Glyph(c);
        glyphs_.push_back(&g);
        advances_.push_back(g.advance);
    }
    const FaceMetrics& m = face_->Metrics();
    const std::vector<PlacedLine> lines = LayOutLines(text_, advances_, m.CellHeight(), *rect, format);
    if (!load_glyphs(glyphs_)) return 0;

    const float side = static_cast<float>(packer_.Width());
    const gfx::Rect* clip = (format & dt::NoClip) != 0 ? nullptr : rect;
    vertices_.clear();
    for (const PlacedLine& line : lines) {
        const int baseline = line.top + m.ascent;
        int pen = line.x;
        for (std::size_t i = line.first; i < line.first + line.count; ++i) {
            const GlyphImage* g = glyphs_[i];
            if (const auto it = slots_.find(g); it != slots_.end()) {
                const float x0 = static_cast<float>(pen + g->left),
                            y0 = static_cast<float>(baseline - g->top);
                add_quad({x0, y0, x0 + static_cast<float>(g->width), y0 + static_cast<float>(g->height),
                          static_cast<float>(it->second.x) / side, static_cast<float>(it->second.y) / side,
                          static_cast<float>(it->second.x + g->width) / side,
                          static_cast<float>(it->second.y + g->height) / side},
                         color, clip);
            }
            pen += g->advance;
        }
        if (face_->Underline() && line.width > 0) {
            const float u = (static_cast<float>(solid_.x) + 1.5f) / side,
                        v = (static_cast<float>(solid_.y) + 1.5f) / side;
            const auto y0 = static_cast<float>(baseline + m.underline_top);
            add_quad({static_cast<float>(line.x), y0, static_cast<float>(line.x + line.width),
                      y0 + static_cast<float>(m.underline_thickness), u, v, u, v},
                     color, clip);
        }
    }
    if (!vertices_.empty() && !draw_vertices()) return 0;
    return m.CellHeight() * static_cast<int>(lines.size());
}

bool DeviceFont::draw_vertices() {
    gfx::StateChanges states(*device_);
    if (!gfx::SetScreenTriangleStates(states)) return false;
    if (!states.VertexFormat(kFontFvf) || !states.Texture(atlas_)) return false;
    const auto triangles = static_cast<gfx::Dword>(vertices_.size() / 3);
    return !Failed(
        device_->DrawPrimitiveUP(gfx::PtTriangleList, triangles, vertices_.data(), sizeof(Vertex)));
}

} // namespace kl::d3dx
