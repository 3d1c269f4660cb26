// A screen-space textured rectangle drawn as a two-triangle strip from memory.
#include "overlay/cls2d_picture.h"

#include "engine/cls3d_engine.h"
#include "engine/engine_platform.h"
#include "engine/mdl_main.h"
#include "fault/fault.h"
#include "overlay/cls2d_texture.h"

#include <cmath>
#include <limits>

namespace kl {

using engine_detail::state_bool;
using platform::Failed;

namespace {

// Exact in 64 bits; outside 32 bits it is the system's overflow error.
double checked_sum(std::int32_t a, std::int32_t b) {
    const std::int64_t sum = std::int64_t{a} + b;
    if (sum < std::numeric_limits<std::int32_t>::min() || sum > std::numeric_limits<std::int32_t>::max())
        throw Fault("Overflow");
    return static_cast<double>(sum);
}

} // namespace

cls2dPicture::cls2dPicture() {
    const float uv[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (std::size_t i = 0; i < 4; ++i)
        Verts[i] = mdlMain::MakeScreenVertex(0, 0, mdlMain::ColorRGB(255, 255, 255), uv[i][0], uv[i][1]);
}

void cls2dPicture::SetPosition(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    const float fx1 = static_cast<float>(x1), fy1 = static_cast<float>(y1), fx2 = static_cast<float>(x2),
                fy2 = static_cast<float>(y2);
    Verts[0].x = fx1, Verts[0].y = fy1;
    Verts[1].x = fx2, Verts[1].y = fy1;
    Verts[2].x = fx1, Verts[2].y = fy2;
    Verts[3].x = fx2, Verts[3].y = fy2;
    BaseVerts = Verts;
    const double cx = checked_sum(x1, x2) / 2;
    const double cy = checked_sum(y1, y2) / 2;
    Centre = {static_cast<float>(cx), static_cast<float>(cy)};
}

void cls2dPicture::Move(std::int32_t MoveX, std::int32_t MoveY) {
    for (ScreenVertex& v : Verts) {
        v.x = static_cast<float>(v.x + static_cast<double>(MoveX));
        v.y = static_cast<float>(v.y + static_cast<double>(MoveY));
    }
}

void cls2dPicture::Rotate(float Angle) {
    TotalAngle += Angle;
    const double c = std::cos(static_cast<double>(TotalAngle)), s = std::sin(static_cast<double>(TotalAngle));
    const double cx = Centre.x, cy = Centre.y;
    for (std::size_t i = 0; i < 4; ++i) {
        const double dx = BaseVerts[i].x - cx, dy = BaseVerts[i].y - cy;
        Verts[i].x = static_cast<float>(cx + dx * c - dy * s);
        Verts[i].y = static_cast<float>(cy + dy * c + dx * s);
    }
}

void cls2dPicture::SetPictureRange(float x1, float y1, float x2, float y2) {
    Verts[0].tu = x1, Verts[0].tv = y1;
    Verts[1].tu = x2, Verts[1].tv = y1;
    Verts[2].tu = x1, Verts[2].tv = y2;
    Verts[3].tu = x2, Verts[3].tv = y2;
}

void cls2dPicture::set_colour() {
    const PackedColor colour = mdlMain::ColorARGB(ColA, ColR, ColG, ColB);
    for (ScreenVertex& v : Verts)
        v.color = colour;
}

void cls2dPicture::SetBackcolor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    ColR = r, ColG = g, ColB = b;
    set_colour();
}

void cls2dPicture::SetTransparency(std::uint8_t Transparency) {
    ColA = static_cast<std::uint8_t>(255 - Transparency);
    set_colour();
}

void cls2dPicture::Render(const cls2dTexture* Tex) {
    gfx::Device* d = CurrentDevice();
    if (Tex == nullptr || d == nullptr) return;
    const bool colour_alpha = ColA != 255;
    const bool key_alpha = Tex->GetColorKey() != 0;
    if (Failed(d->SetVertexShader(kFvfScreenVertex))) return;
    // The device's first alpha argument is the vertex alpha, the second the texture alpha. The
    // alpha-edited flag is not consulted here: an edited texture without a key blends only when
    // the picture itself is see-through.
    if (colour_alpha || key_alpha) {
        if (Failed(d->SetRenderState(gfx::rs::AlphaBlendEnable, state_bool(true)))) return;
        const gfx::Dword op = !colour_alpha ? gfx::TopSelectArg2
                              : key_alpha   ? gfx::TopModulate
                                            : gfx::TopSelectArg1;
        if (Failed(d->SetTextureStageState(0, gfx::tss::AlphaOp, op))) return;
    }
    if (Failed(d->SetTexture(0, Tex->GetTexture()))) return;
    if (Failed(d->DrawPrimitiveUP(gfx::PtTriangleStrip, 2, Verts.data(), sizeof(ScreenVertex)))) return;
    IgnoreStatus(d->SetRenderState(gfx::rs::AlphaBlendEnable, state_bool(false)),
                 "the picture is drawn already");
}

} // namespace kl
