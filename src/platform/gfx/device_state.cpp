// Default values of the device state.
#include "platform/gfx/device_state.h"

#include <bit>

namespace kl::gfx {

namespace {

Dword float_bits(float f) {
    return std::bit_cast<Dword>(f);
}

} // namespace

Matrix IdentityMatrix() {
    Matrix m;
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
    return m;
}

void DeviceState::ResetToDefaults(Dword width, Dword height, bool has_depth) {
    render.fill(0);
    render[rs::ZEnable] = has_depth ? 1 : 0;
    render[rs::FillMode] = FillSolid;
    render[rs::ShadeMode] = 2; // Gouraud
    render[rs::ZWriteEnable] = 1;
    render[rs::LastPixel] = 1;
    render[rs::SrcBlend] = BlendOne;
    render[rs::DestBlend] = BlendZero;
    render[rs::CullMode] = CullCcw;
    render[rs::ZFunc] = CmpLessEqual;
    render[rs::AlphaFunc] = CmpAlways;
    render[rs::FogStart] = float_bits(0.0f);
    render[rs::FogEnd] = float_bits(1.0f);
    render[rs::FogDensity] = float_bits(1.0f);
    render[rs::StencilFail] = SopKeep;
    render[rs::StencilZFail] = SopKeep;
    render[rs::StencilPass] = SopKeep;
    render[rs::StencilFunc] = CmpAlways;
    render[rs::StencilMask] = 0xFFFFFFFFu;
    render[rs::StencilWriteMask] = 0xFFFFFFFFu;
    render[rs::TextureFactor] = 0xFFFFFFFFu;
    for (int wrap = 128; wrap <= 135; ++wrap)
        render[static_cast<std::size_t>(wrap)] = 0;
    render[rs::Clipping] = 1;
    render[rs::Lighting] = 1;
    render[rs::ColorVertex] = 1;
    render[rs::LocalViewer] = 1;
    render[rs::DiffuseMaterialSource] = 1; // vertex colour 1
    render[rs::SpecularMaterialSource] = 2;
    render[rs::ColorWriteEnable] = 0xF;
    render[rs::BlendOp] = BlendOpAdd;

    stage.fill(0);
    stage[tss::ColorOp] = TopModulate;
    stage[tss::ColorArg1] = TaTexture;
    stage[tss::ColorArg2] = TaCurrent;
    stage[tss::AlphaOp] = TopSelectArg1;
    stage[tss::AlphaArg1] = TaTexture;
    stage[tss::AlphaArg2] = TaCurrent;
    stage[tss::AddressU] = TaddressWrap;
    stage[tss::AddressV] = TaddressWrap;
    stage[tss::AddressW] = TaddressWrap;
    stage[tss::MagFilter] = TexfPoint;
    stage[tss::MinFilter] = TexfPoint;
    stage[tss::MipFilter] = TexfNone;
    stage[tss::MaxAnisotropy] = 1;

    world = view = projection = IdentityMatrix();
    lights.clear();
    light_enabled.clear();
    material = Material{};
    for (auto& p : clip_planes)
        p.fill(0.0f);
    viewport = Viewport{0, 0, width, height, 0.0f, 1.0f};
    fvf = 0;
    texture.reset();
    stream.reset();
    stream_stride = 0;
    indices.reset();
    base_vertex = 0;
}

Matrix* DeviceState::Transform(std::int32_t type) {
    switch (type) {
    case TsWorld:
        return &world;
    case TsView:
        return &view;
    case TsProjection:
        return &projection;
    default:
        return nullptr;
    }
}

void DeviceState::EnableLight(Dword index, bool enable) {
    if (enable && !lights.contains(index)) {
        Light l;
        l.Type = LightDirectional;
        l.Diffuse = {1, 1, 1, 0};
        l.Direction = {0, 0, 1};
        lights[index] = l;
    }
    light_enabled[index] = enable;
}

} // namespace kl::gfx
