// The frame cycle: recovering a lost device and beginning the scene, clearing, ending and
// presenting, and the 2D lines and boxes drawn in screen pixels.
#include "engine/cls3d_engine.h"
#include "engine/engine_platform.h"
#include "engine/mdl_main.h"

#include <cmath>
#include <optional>

namespace kl {

using engine_detail::errors_ignored;
using gfx::Dword;
using platform::Failed;
using platform::Status;

namespace {

// Halves to even under the default rounding mode. A value the platform's unsigned viewport cannot
// hold (negative, too large, not a number) gives nothing.
std::optional<Dword> rounded(float v) {
    const float r = std::nearbyint(v);
    if (!(r >= 0.0f && r < 4294967296.0f)) return std::nullopt;
    return static_cast<Dword>(r);
}

} // namespace

void cls3dEngine::RenderStart(const Vec2& xy1, const Vec2& xy2) {
    if (!D3DDevice) return;
    Status answer = Status::Ok;
    do {
        // A close request leaves the loop: a device that can never be reset again would otherwise
        // keep the program spinning here with no way out.
        if (MessagePump && !MessagePump()) {
            CloseRequest = true;
            break;
        }
        answer = D3DDevice->TestCooperativeLevel();
        if (answer == Status::DeviceNotReset) {
            const DisplayMode mode = CurrentMode;
            if (SetRes(&mode, AntiAlias, Windowed)) answer = Status::Ok;
        }
    } while (answer == Status::DeviceNotReset && D3DDevice);
    if (!D3DDevice || Failed(D3DDevice->BeginScene())) return;

    const float x1 = xy1.x, y1 = xy1.y;
    const float x2 = xy2.x == 0 ? static_cast<float>(CurrentMode.Width) : xy2.x;
    const float y2 = xy2.y == 0 ? static_cast<float>(CurrentMode.Height) : xy2.y;
    if (x1 == Viewport.x1 && y1 == Viewport.y1 && x2 == Viewport.x2 && y2 == Viewport.y2) return;
    const auto x = rounded(x1), y = rounded(y1), width = rounded(x2 - x1), height = rounded(y2 - y1);
    // An impossible rectangle ends the method as the platform's refusal would.
    if (!x || !y || !width || !height) return;
    if (Failed(D3DDevice->SetViewport({*x, *y, *width, *height, 0.0f, 1.0f}))) return;
    Viewport = {x1, y1, x2, y2};
}

void cls3dEngine::RenderClear(bool ClearScreen, PackedColor ClearColor, bool WillRender3d,
                              bool WillRenderBlendedShadow) {
    if (!D3DDevice) return;
    Dword flags = 0;
    if (ClearScreen) flags |= gfx::ClearTarget;
    if (WillRender3d) flags |= gfx::ClearZBuffer;
    // The blended shadow darkens a pixel only while its stencil value is 1 and drops it to 0.
    if (StencilAvailable && WillRenderBlendedShadow) flags |= gfx::ClearStencil;
    errors_ignored(D3DDevice->Clear(0, nullptr, flags, ClearColor, 1.0f, 1));
}

void cls3dEngine::RenderEnd() {
    if (D3DDevice) errors_ignored(D3DDevice->EndScene());
}

void cls3dEngine::RenderShow() {
    if (D3DDevice) errors_ignored(D3DDevice->Present(nullptr, nullptr, hWnd, nullptr));
}

void cls3dEngine::Render2dLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                               PackedColor Color) {
    if (!D3DDevice) return;
    const ScreenVertex v[2] = {
        mdlMain::MakeScreenVertex(static_cast<float>(x1), static_cast<float>(y1), Color, 0, 0),
        mdlMain::MakeScreenVertex(static_cast<float>(x2), static_cast<float>(y2), Color, 0, 0),
    };
    if (Failed(D3DDevice->SetVertexShader(kFvfScreenVertex)) || Failed(D3DDevice->SetTexture(0, nullptr)))
        return;
    errors_ignored(D3DDevice->DrawPrimitiveUP(gfx::PtLineList, 1, v, sizeof(ScreenVertex)));
}

void cls3dEngine::Render2dBox(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, bool Filled,
                              PackedColor Color) {
    if (!D3DDevice) return;
    if (Failed(D3DDevice->SetVertexShader(kFvfScreenVertex)) || Failed(D3DDevice->SetTexture(0, nullptr)))
        return;
    const auto fx1 = static_cast<float>(x1), fy1 = static_cast<float>(y1);
    const auto fx2 = static_cast<float>(x2), fy2 = static_cast<float>(y2);
    auto vertex = [&](float x, float y) { return mdlMain::MakeScreenVertex(x, y, Color, 0, 0); };
    if (Filled) {
        const ScreenVertex v[4] = {vertex(fx1, fy1), vertex(fx2, fy1), vertex(fx1, fy2), vertex(fx2, fy2)};
        errors_ignored(D3DDevice->DrawPrimitiveUP(gfx::PtTriangleStrip, 2, v, sizeof(ScreenVertex)));
    } else {
        const ScreenVertex v[5] = {vertex(fx1, fy1), vertex(fx2, fy1), vertex(fx2, fy2), vertex(fx1, fy2),
                                   vertex(fx1, fy1)};
        errors_ignored(D3DDevice->DrawPrimitiveUP(gfx::PtLineStrip, 4, v, sizeof(ScreenVertex)));
    }
}

} // namespace kl
