// The packed records the engine and its callers exchange. Several are copied byte for byte or handed
// out by address, so field order and widths are fixed and checked at compile time.
#pragma once

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

struct ColorValue {
    float r = 0, g = 0, b = 0, a = 0;
};

struct Material {
    ColorValue Diffuse, Ambient, Specular, Emissive;
    float Power = 0;
};

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

// Only this record needs packing (its 16-bit fields end on a 2-byte boundary); the others hold
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

// Vertex format codes (bit sets) and primitive types by the platform's numbering.
constexpr std::uint32_t kFvfXyz = 0x002;
constexpr std::uint32_t kFvfXyzRhw = 0x004;
constexpr std::uint32_t kFvfNormal = 0x010;
constexpr std::uint32_t kFvfDiffuse = 0x040;
constexpr std::uint32_t kFvfTex1 = 0x100;
constexpr std::uint32_t kFvfScreenVertex = kFvfXyzRhw | kFvfDiffuse | kFvfTex1; // 324
constexpr std::uint32_t kFvfPolyVertex = kFvfXyz | kFvfNormal | kFvfTex1;       // 0x112
static_assert(kFvfScreenVertex == 324);

// Pixel-format codes.
enum PixelFormat : std::int32_t {
    FmtUnknown = 0,
    FmtR8G8B8 = 20,
    FmtA8R8G8B8 = 21,
    FmtX8R8G8B8 = 22,
    FmtR5G6B5 = 23,
    FmtX1R5G5B5 = 24,
    FmtA1R5G5B5 = 25,
    FmtA4R4G4B4 = 26,
    FmtR3G3B2 = 27,
    FmtA8 = 28,
    FmtA8R3G3B2 = 29,
    FmtX4R4G4B4 = 30,
    FmtD15S1 = 73,
    FmtD24S8 = 75,
    FmtD24X4S4 = 79,
    FmtD16 = 80,
};

} // namespace kl
