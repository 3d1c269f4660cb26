// The screen-triangle states are set through StateChanges, so whoever draws with them leaves the
// device as the rest of the frame expects.
#include "platform/gfx/state_changes.h"

namespace kl::gfx {

using platform::Failed;
using platform::Status;

namespace {

struct StateValue {
    std::int32_t code;
    Dword value;
};

constexpr StateValue kRenderStates[] = {
    {rs::AlphaBlendEnable, 1}, {rs::SrcBlend, BlendSrcAlpha}, {rs::DestBlend, BlendInvSrcAlpha},
    {rs::BlendOp, BlendOpAdd}, {rs::AlphaTestEnable, 0},      {rs::ZEnable, 0},
    {rs::FillMode, FillSolid}, {rs::CullMode, CullNone},      {rs::FogEnable, 0},
    {rs::StencilEnable, 0},    {rs::ClipPlaneEnable, 0},      {rs::ColorWriteEnable, 0xF},
};
constexpr StateValue kStageStates[] = {
    {tss::ColorOp, TopModulate},    {tss::ColorArg1, TaTexture},    {tss::ColorArg2, TaDiffuse},
    {tss::AlphaOp, TopModulate},    {tss::AlphaArg1, TaTexture},    {tss::AlphaArg2, TaDiffuse},
    {tss::MinFilter, TexfPoint},    {tss::MagFilter, TexfPoint},    {tss::MipFilter, TexfNone},
    {tss::AddressU, TaddressClamp}, {tss::AddressV, TaddressClamp}, {tss::TexCoordIndex, 0},
};

} // namespace

// Putting a state back happens on the way out, with no caller left to tell: a device that refuses
// it has refused the draw already, or is lost and will be reset.
StateChanges::~StateChanges() {
    constexpr const char* why = "restored on the way out";
    for (auto it = changed_.rbegin(); it != changed_.rend(); ++it) {
        if (it->stage)
            IgnoreStatus(d_.SetTextureStageState(0, it->code, it->old), why);
        else
            IgnoreStatus(d_.SetRenderState(it->code, it->old), why);
    }
    if (texture_saved_) IgnoreStatus(d_.SetTexture(0, texture_), why);
    if (fvf_saved_) IgnoreStatus(d_.SetVertexShader(fvf_), why);
    if (viewport_) IgnoreStatus(d_.SetViewport(*viewport_), why);
}

bool StateChanges::VertexFormat(Dword fvf) {
    if (!fvf_saved_) {
        if (Failed(d_.GetVertexShader(&fvf_))) return false;
        fvf_saved_ = true;
        if (fvf_ == fvf) return true;
    }
    return !Failed(d_.SetVertexShader(fvf));
}

bool StateChanges::Texture(const TexturePtr& texture) {
    if (!texture_saved_) {
        if (Failed(d_.GetTexture(0, &texture_))) return false;
        texture_saved_ = true;
        if (texture_ == texture) return true;
    }
    return !Failed(d_.SetTexture(0, texture));
}

bool StateChanges::SetViewport(const gfx::Viewport& viewport) {
    if (!viewport_) {
        gfx::Viewport old;
        if (Failed(d_.GetViewport(&old))) return false;
        viewport_ = old;
    }
    return !Failed(d_.SetViewport(viewport));
}

bool StateChanges::change(bool stage, std::int32_t code, Dword value) {
    Dword old = 0;
    const Status s = stage ? d_.GetTextureStageState(0, code, &old) : d_.GetRenderState(code, &old);
    if (Failed(s)) return false;
    if (old == value) return true;
    changed_.push_back({stage, code, old});
    return !Failed(stage ? d_.SetTextureStageState(0, code, value) : d_.SetRenderState(code, value));
}

bool SetScreenTriangleStates(StateChanges& states) {
    for (const StateValue& r : kRenderStates)
        if (!states.Render(r.code, r.value)) return false;
    for (const StateValue& s : kStageStates)
        if (!states.Stage(s.code, s.value)) return false;
    return true;
}

} // namespace kl::gfx
