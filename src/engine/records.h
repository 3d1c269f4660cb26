// The packed records the engine and its callers exchange. Several are copied byte for byte or handed
// out by address, so field order and widths are fixed and checked at compile time.
#pragma once

#include "platform/gfx/types.h"

#include <cstdint>

namespace kl {

// Booleans inside byte records: -1 for true, 0 for false.
using Bool16 = std::int16_t;
constexpr Bool16 kTrue16 = -1;
constexpr Bool16 kFalse16 = 0;
constexpr Bool16 ToBool16(bool b) {
    return b ? kTrue16 : kFalse16;
}

// Packed colour 0xAARRGGBB.
using PackedColor = std::uint32_t;

struct Vec2 {
    float x = 0, y = 0;
};

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

// Row vectors: p' = p x M, translation in m41..m43. Stored row by row, which is also the
// column-major array OpenGL expects, so it can be handed over unchanged.
struct Matrix4 {
    float m11 = 0, m12 = 0, m13 = 0, m14 = 0;
    float m21 = 0, m22 = 0, m23 = 0, m24 = 0;
    float m31 = 0, m32 = 0, m33 = 0, m34 = 0;
    float m41 = 0, m42 = 0, m43 = 0, m44 = 0;

    float& at(int row, int col) { return (&m11)[row * 4 + col]; }
    float at(int row, int col) const { return (&m11)[row * 4 + col]; }
    const float* data() const { return &m11; }
};

// The device's own records, so that a material goes to it as it is. They are packed like the
// device's other records: a member that is read through float pointers needs alignas(float).
using gfx::ColorValue;
using gfx::Material;

struct DisplayMode {
    std::int32_t Width = 0, Height = 0, Format = 0;
};

struct ScreenVertex {
    float x = 0, y = 0, z = 0, rhw = 0;
    PackedColor color = 0;
    float tu = 0, tv = 0;
};

// Vertex of a polygon buffer: position, normal, one texture pair.
struct PolyVertex {
    float x = 0, y = 0, z = 0;
    float nx = 0, ny = 0, nz = 0;
    float tu = 0, tv = 0;
};

struct Plane {
    float a = 0, b = 0, c = 0, d = 0;
};

struct PlaneRecord {
    Vec3 Corner0, Corner1, Corner2;
    Vec3 Normal;
    ::kl::Plane Plane;
};

// Only this record needs packing (its 16-bit fields end on a 2-byte boundary); the others here hold
// 4-byte fields only and keep their natural alignment, so they can sit anywhere in other classes.
#pragma pack(push, 1)
struct EngineCaps {
    std::int32_t AntiAlias = 0;
    float MaxTextureWidth = 0;
    float MaxTextureHeight = 0;
    Bool16 Anisotropic = 0;
    Bool16 Fog = 0;
    Bool16 Shadows = 0;
    Bool16 DepthBias = 0;
    Bool16 Specular = 0;
};

#pragma pack(pop)

static_assert(sizeof(Vec2) == 8);
static_assert(sizeof(Vec3) == 12);
static_assert(sizeof(Matrix4) == 64);
static_assert(sizeof(ColorValue) == 16);
static_assert(sizeof(Material) == 68);
static_assert(sizeof(DisplayMode) == 12);
static_assert(sizeof(ScreenVertex) == 28);
static_assert(sizeof(PolyVertex) == 32);
static_assert(sizeof(Plane) == 16);
static_assert(sizeof(PlaneRecord) == 64);
static_assert(sizeof(EngineCaps) == 22);

// Vertex format codes (bit sets) by the device's numbering.
constexpr std::uint32_t kFvfXyz = gfx::fvf::Xyz;
constexpr std::uint32_t kFvfXyzRhw = gfx::fvf::XyzRhw;
constexpr std::uint32_t kFvfNormal = gfx::fvf::Normal;
constexpr std::uint32_t kFvfDiffuse = gfx::fvf::Diffuse;
constexpr std::uint32_t kFvfTex1 = 1u << gfx::fvf::TexCountShift;               // one texture pair
constexpr std::uint32_t kFvfScreenVertex = kFvfXyzRhw | kFvfDiffuse | kFvfTex1; // 324
constexpr std::uint32_t kFvfPolyVertex = kFvfXyz | kFvfNormal | kFvfTex1;       // 0x112
static_assert(kFvfScreenVertex == 324);

// Pixel-format codes: the device's.
using PixelFormat = gfx::Format;
using enum gfx::Format;

} // namespace kl
