// The clip rectangles become viewports: pre-transformed vertices keep their screen coordinates
// whatever the viewport, which only bounds what is drawn, and the device offers no scissor of its own.
#include "overlay/imgui_drawing.h"

#include "engine/cls3d_engine.h"
#include "platform/gfx/state_changes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <imgui.h>

namespace kl {

using platform::Failed;

namespace {

// ImGui packs colours red in the low byte; the device reads blue there.
PackedColor device_colour(ImU32 c) {
    return (c & 0xFF00FF00u) | ((c & 0xFFu) << 16) | ((c >> 16) & 0xFFu);
}

// The clip rectangle on the screen in whole pixels; empty when nothing of it is on the screen.
bool clip_viewport(const ImVec4& clip, const ImVec2& display, gfx::Viewport* out) {
    const float x1 = std::max(0.0f, std::floor(clip.x)), y1 = std::max(0.0f, std::floor(clip.y));
    const float x2 = std::min(display.x, std::ceil(clip.z)), y2 = std::min(display.y, std::ceil(clip.w));
    if (!(x2 > x1 && y2 > y1)) return false;
    out->X = static_cast<gfx::Dword>(x1);
    out->Y = static_cast<gfx::Dword>(y1);
    out->Width = static_cast<gfx::Dword>(x2 - x1);
    out->Height = static_cast<gfx::Dword>(y2 - y1);
    out->MinZ = 0.0f;
    out->MaxZ = 1.0f;
    return true;
}

} // namespace

bool ImguiDrawing::CreateFontTexture(ImFontAtlas& atlas) {
    Release();
    gfx::Device* d = CurrentDevice();
    if (d == nullptr) return false;
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
    atlas.GetTexDataAsRGBA32(&pixels, &width, &height);
    if (pixels == nullptr || width <= 0 || height <= 0) return false;
    gfx::TexturePtr texture;
    // Managed: the device keeps a copy and brings the texture back after a reset.
    if (Failed(d->CreateTexture(static_cast<gfx::Dword>(width), static_cast<gfx::Dword>(height), 1, 0,
                                gfx::FmtA8R8G8B8, gfx::PoolManaged, &texture)) ||
        !texture)
        return false;
    gfx::LockedRect locked;
    if (Failed(texture->LockRect(0, &locked, nullptr, 0))) return false;
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = pixels + static_cast<std::ptrdiff_t>(y) * width * 4;
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                     static_cast<std::ptrdiff_t>(y) * locked.Pitch);
        for (int x = 0; x < width; ++x, in += 4)
            row[x] = (std::uint32_t{in[3]} << 24) | (std::uint32_t{in[0]} << 16) |
                     (std::uint32_t{in[1]} << 8) | in[2];
    }
    if (Failed(texture->UnlockRect(0))) return false;
    atlas.SetTexID(static_cast<ImTextureID>(texture.get()));
    Font = std::move(texture);
    return true;
}

void ImguiDrawing::Release() {
    Font.reset();
}

void ImguiDrawing::Draw(const ImDrawData& data) {
    gfx::Device* d = CurrentDevice();
    if (d == nullptr || !Font || data.CmdListsCount <= 0) return;
    gfx::StateChanges states(*d);
    if (!gfx::SetScreenTriangleStates(states) || !states.VertexFormat(kFvfScreenVertex) ||
        !states.Texture(Font))
        return;
    for (int n = 0; n < data.CmdListsCount; ++n) {
        const ImDrawList& list = *data.CmdLists[n];
        Vertices.resize(static_cast<std::size_t>(list.VtxBuffer.Size));
        for (int i = 0; i < list.VtxBuffer.Size; ++i) {
            const ImDrawVert& v = list.VtxBuffer[i];
            Vertices[static_cast<std::size_t>(i)] = {v.pos.x, v.pos.y, 0.0f, 1.0f, device_colour(v.col),
                                                     v.uv.x,  v.uv.y};
        }
        for (const ImDrawCmd& cmd : list.CmdBuffer) {
            // Callbacks draw nothing here: the panel sets none.
            if (cmd.UserCallback != nullptr || cmd.ElemCount < 3) continue;
            gfx::Viewport clip;
            if (!clip_viewport(cmd.ClipRect, data.DisplaySize, &clip) || !states.SetViewport(clip)) continue;
            IgnoreStatus(d->DrawIndexedPrimitiveUP(gfx::PtTriangleList, 0,
                                                   static_cast<gfx::Dword>(Vertices.size()),
                                                   cmd.ElemCount / 3, list.IdxBuffer.Data + cmd.IdxOffset,
                                                   gfx::FmtIndex16, Vertices.data(), sizeof(ScreenVertex)),
                         "a command the device refuses leaves the rest of the panel to draw");
        }
    }
}

} // namespace kl
