// The records and numeric codes of the graphics platform. The numbers are those the engine passes
// around as its own identifiers (pixel formats, render states, stage states, primitive types,
// vertex-format bits), so they are kept exactly.
#pragma once

#include "platform/os/window_handle.h"

#include <cstdint>

namespace kl::gfx {

using Dword = std::uint32_t;

// Pixel formats, including the depth-stencil ones and the two index formats.
enum Format : std::int32_t {
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
    FmtIndex16 = 101,
    FmtIndex32 = 102,
};

// Bytes per pixel of the colour formats a texture can have; 0 for the rest.
int BytesPerPixel(std::int32_t format);

enum Pool : std::int32_t { PoolDefault = 0, PoolManaged = 1, PoolSystemMem = 2 };

enum DeviceType : std::int32_t { DevTypeHal = 1, DevTypeRef = 2 };

enum TransformType : std::int32_t { TsView = 2, TsProjection = 3, TsWorld = 256 };

enum PrimitiveType : std::int32_t {
    PtPointList = 1,
    PtLineList = 2,
    PtLineStrip = 3,
    PtTriangleList = 4,
    PtTriangleStrip = 5,
    PtTriangleFan = 6,
};

// Vertices a primitive count needs; 0 for an unknown type or a count below 1.
std::int64_t VertexCountFor(std::int32_t type, std::int64_t primitives);

// Vertex-format bits.
namespace fvf {
constexpr Dword Xyz = 0x002;
constexpr Dword XyzRhw = 0x004;
constexpr Dword PositionMask = 0x00E;
constexpr Dword Normal = 0x010;
constexpr Dword PSize = 0x020;
constexpr Dword Diffuse = 0x040;
constexpr Dword Specular = 0x080;
constexpr Dword TexCountMask = 0xF00;
constexpr int TexCountShift = 8;
} // namespace fvf

// Byte offsets of the parts of a vertex in a given format; -1 where the part is absent.
struct VertexLayout {
    int stride = 0;
    int position = -1, position_size = 0; // 3 floats, or 4 with rhw
    int normal = -1, diffuse = -1, specular = -1;
    int texcoord = -1; // first set only; the engine never uses more
    bool pretransformed = false;
};
VertexLayout LayoutOf(Dword fvf_code);

namespace rs {
enum : std::int32_t {
    ZEnable = 7,
    FillMode = 8,
    ShadeMode = 9,
    ZWriteEnable = 14,
    AlphaTestEnable = 15,
    LastPixel = 16,
    SrcBlend = 19,
    DestBlend = 20,
    CullMode = 22,
    ZFunc = 23,
    AlphaRef = 24,
    AlphaFunc = 25,
    DitherEnable = 26,
    AlphaBlendEnable = 27,
    FogEnable = 28,
    SpecularEnable = 29,
    ZVisible = 30,
    FogColor = 34,
    FogTableMode = 35,
    FogStart = 36,
    FogEnd = 37,
    FogDensity = 38,
    EdgeAntialias = 40,
    ZBias = 47,
    RangeFogEnable = 48,
    StencilEnable = 52,
    StencilFail = 53,
    StencilZFail = 54,
    StencilPass = 55,
    StencilFunc = 56,
    StencilRef = 57,
    StencilMask = 58,
    StencilWriteMask = 59,
    TextureFactor = 60,
    Clipping = 136,
    Lighting = 137,
    Ambient = 139,
    FogVertexMode = 140,
    ColorVertex = 141,
    LocalViewer = 142,
    NormalizeNormals = 143,
    DiffuseMaterialSource = 145,
    SpecularMaterialSource = 146,
    AmbientMaterialSource = 147,
    EmissiveMaterialSource = 148,
    ClipPlaneEnable = 152,
    ColorWriteEnable = 168,
    BlendOp = 171,
};
constexpr int kCount = 256;
} // namespace rs

// The codes SetRenderState accepts; every other one is an invalid call.
bool IsKnownRenderState(std::int32_t code);

namespace tss {
enum : std::int32_t {
    ColorOp = 1,
    ColorArg1 = 2,
    ColorArg2 = 3,
    AlphaOp = 4,
    AlphaArg1 = 5,
    AlphaArg2 = 6,
    TexCoordIndex = 11,
    AddressU = 13,
    AddressV = 14,
    BorderColor = 15,
    MagFilter = 16,
    MinFilter = 17,
    MipFilter = 18,
    MipMapLodBias = 19,
    MaxMipLevel = 20,
    MaxAnisotropy = 21,
    AddressW = 25,
};
constexpr int kCount = 29;
} // namespace tss

// Values of the states above.
enum Cmp : Dword {
    CmpNever = 1,
    CmpLess,
    CmpEqual,
    CmpLessEqual,
    CmpGreater,
    CmpNotEqual,
    CmpGreaterEqual,
    CmpAlways
};
enum StencilOp : Dword {
    SopKeep = 1,
    SopZero,
    SopReplace,
    SopIncrSat,
    SopDecrSat,
    SopInvert,
    SopIncr,
    SopDecr
};
enum Blend : Dword {
    BlendZero = 1,
    BlendOne,
    BlendSrcColor,
    BlendInvSrcColor,
    BlendSrcAlpha,
    BlendInvSrcAlpha,
    BlendDestAlpha,
    BlendInvDestAlpha,
    BlendDestColor,
    BlendInvDestColor,
    BlendSrcAlphaSat,
};
enum BlendOpCode : Dword { BlendOpAdd = 1, BlendOpSubtract, BlendOpRevSubtract, BlendOpMin, BlendOpMax };
enum Cull : Dword { CullNone = 1, CullCw = 2, CullCcw = 3 };
enum Fill : Dword { FillPoint = 1, FillWireframe = 2, FillSolid = 3 };
enum FogMode : Dword { FogNone = 0, FogExp = 1, FogExp2 = 2, FogLinear = 3 };
enum TextureOp : Dword {
    TopDisable = 1,
    TopSelectArg1 = 2,
    TopSelectArg2 = 3,
    TopModulate = 4,
    TopModulate2x = 5,
    TopModulate4x = 6,
    TopAdd = 7,
    TopAddSigned = 8,
    TopSubtract = 10,
};
enum TextureArg : Dword { TaDiffuse = 0, TaCurrent = 1, TaTexture = 2, TaTFactor = 3, TaSpecular = 4 };
enum TextureFilter : Dword { TexfNone = 0, TexfPoint = 1, TexfLinear = 2, TexfAnisotropic = 3 };
enum TextureAddress : Dword { TaddressWrap = 1, TaddressMirror = 2, TaddressClamp = 3, TaddressBorder = 4 };
enum LightType : std::int32_t { LightPoint = 1, LightSpot = 2, LightDirectional = 3 };

// Clear flags.
constexpr Dword ClearTarget = 1, ClearZBuffer = 2, ClearStencil = 4;
// Lock flags.
constexpr Dword LockReadOnly = 0x10;
// Buffer and texture usage bits.
constexpr Dword UsageWriteOnly = 0x8, UsageDynamic = 0x200;
// Device-creation behaviour.
constexpr Dword CreateSoftwareVertexProcessing = 0x20, CreateHardwareVertexProcessing = 0x40;

// Capability bits the engine tests.
constexpr Dword PresentIntervalOne = 0x1, PresentIntervalImmediate = 0x80000000u;
constexpr Dword DevCapsHwTransformAndLight = 0x10000;
constexpr Dword RasterCapsFogTable = 0x100, RasterCapsZBias = 0x4000, RasterCapsFogRange = 0x10000,
                RasterCapsWFog = 0x100000, RasterCapsZFog = 0x200000;
constexpr Dword StencilCapsKeep = 0x1, StencilCapsZero = 0x2, StencilCapsReplace = 0x4,
                StencilCapsIncrSat = 0x8, StencilCapsDecrSat = 0x10, StencilCapsInvert = 0x20,
                StencilCapsIncr = 0x40, StencilCapsDecr = 0x80;
constexpr Dword ShadeCapsSpecularGouraudRgb = 0x200;

#pragma pack(push, 1)

struct ColorValue {
    float r = 0, g = 0, b = 0, a = 0;
};
struct Vector {
    float x = 0, y = 0, z = 0;
};
// Row vectors, stored row by row (the column-major layout OpenGL reads).
struct Matrix {
    float m[16] = {};
};
struct Material {
    ColorValue Diffuse, Ambient, Specular, Emissive;
    float Power = 0;
};
struct Light {
    std::int32_t Type = LightDirectional;
    ColorValue Diffuse, Specular, Ambient;
    Vector Position, Direction;
    float Range = 0, Falloff = 0, Attenuation0 = 0, Attenuation1 = 0, Attenuation2 = 0, Theta = 0, Phi = 0;
};

#pragma pack(pop)

static_assert(sizeof(Matrix) == 64);
static_assert(sizeof(Material) == 68);
static_assert(sizeof(Light) == 104);

struct Viewport {
    Dword X = 0, Y = 0, Width = 0, Height = 0;
    float MinZ = 0, MaxZ = 1;
};

struct Rect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct DisplayModeInfo {
    std::int32_t Width = 0, Height = 0, RefreshRate = 0, Format = FmtUnknown;
};

// The part of the adapter's capability record the engine reads.
struct Caps {
    std::int32_t DeviceType = DevTypeHal;
    std::int32_t AdapterOrdinal = 0;
    Dword PresentationIntervals = 0;
    Dword DevCaps = 0;
    Dword RasterCaps = 0;
    Dword StencilCaps = 0;
    Dword ShadeCaps = 0;
    Dword MaxTextureWidth = 0, MaxTextureHeight = 0;
    Dword MaxAnisotropy = 0;
    Dword MaxActiveLights = 0;
    Dword MaxUserClipPlanes = 0;
};

// The thirteen presentation parameters, in their order.
struct PresentParameters {
    Dword BackBufferWidth = 0;
    Dword BackBufferHeight = 0;
    std::int32_t BackBufferFormat = FmtUnknown;
    Dword BackBufferCount = 0;
    std::int32_t MultiSampleType = 0;
    Dword SwapEffect = 1;
    platform::WindowHandle hDeviceWindow = nullptr;
    bool Windowed = false;
    bool EnableAutoDepthStencil = false;
    std::int32_t AutoDepthStencilFormat = FmtUnknown;
    Dword Flags = 0;
    Dword FullScreen_RefreshRateInHz = 0;
    Dword FullScreen_PresentationInterval = 0;
};

struct SurfaceDesc {
    std::int32_t Format = FmtUnknown;
    Dword Usage = 0;
    std::int32_t Pool = PoolDefault;
    Dword Size = 0;
    Dword Width = 0, Height = 0;
};

struct LockedRect {
    std::int32_t Pitch = 0;
    void* pBits = nullptr;
};

} // namespace kl::gfx
