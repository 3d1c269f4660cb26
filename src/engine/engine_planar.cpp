// Planar shadows (geometry flattened onto a plane, each pixel darkened once through the stencil) and
// planar reflections (the view mirrored in a plane), optionally limited to a triangle of the plane.
#include "engine/cls3d_engine.h"
#include "engine/engine_platform.h"
#include "engine/math.h"
#include "engine/mdl_main.h"

namespace kl {

using engine_detail::from_platform;
using engine_detail::state_bool;
using engine_detail::to_platform;
using gfx::Dword;
using platform::Failed;

namespace {

constexpr Dword kAllThreeClipPlanes = 7;
constexpr Dword kShadowDepthBias = 5;
constexpr std::int32_t kOpaqueShadow = 255;

// The three planes through a triangle's edges and an eye point, all switched on.
bool set_clip_planes(gfx::Device& d, const Plane (&planes)[3]) {
    for (Dword i = 0; i < 3; ++i) {
        const float eq[4] = {planes[i].a, planes[i].b, planes[i].c, planes[i].d};
        if (Failed(d.SetClipPlane(i, eq))) return false;
    }
    return !Failed(d.SetRenderState(gfx::rs::ClipPlaneEnable, kAllThreeClipPlanes));
}

bool switch_shadow_states_off(gfx::Device& d) {
    return !Failed(d.SetRenderState(gfx::rs::StencilEnable, state_bool(false))) &&
           !Failed(d.SetRenderState(gfx::rs::ClipPlaneEnable, 0)) &&
           !Failed(d.SetRenderState(gfx::rs::ZBias, 0)) &&
           !Failed(d.SetRenderState(gfx::rs::AlphaBlendEnable, state_bool(false)));
}

} // namespace

bool cls3dEngine::SetShadowState(const PlaneRecord* pPlaneTo, const Vec3* LightPos, std::int32_t Intensity,
                                 std::int32_t lType, bool ClipEdges) {
    const bool wanted = pPlaneTo != nullptr && Intensity != 0 && ZBiasAvailable &&
                        (Intensity == kOpaqueShadow || StencilAvailable);
    // An intensity outside a byte or a missing light would leave the flag on while the caller is told
    // the shadow is off; such a call switches the shadow off instead.
    const bool usable = LightPos != nullptr && Intensity >= 0 && Intensity <= kOpaqueShadow;
    if (!wanted || !usable || !D3DDevice) {
        ShadowOn = false;
        if (D3DDevice) switch_shadow_states_off(*D3DDevice);
        return false;
    }

    gfx::Device& d = *D3DDevice;
    const PlaneRecord plane = *pPlaneTo;
    ShadowOn = true;
    const auto fail = [&] {
        // Whatever was set stays set, but the flag must agree with the answer.
        ShadowOn = false;
        return false;
    };

    const Material shadow = mdlMain::MakeMaterial(0, 0, 0, 0, 0, 0, 0, kOpaqueShadow - Intensity);
    if (Failed(d.SetTexture(0, nullptr))) return fail();
    if (Failed(d.SetMaterial(shadow))) return fail();
    if (Intensity != kOpaqueShadow) {
        // Alpha from the diffuse colour (the first argument since SetRes), drawn once per pixel.
        if (Failed(d.SetTextureStageState(0, gfx::tss::AlphaOp, gfx::TopSelectArg1))) return fail();
        if (Failed(d.SetRenderState(gfx::rs::AlphaBlendEnable, state_bool(true)))) return fail();
        if (Failed(d.SetRenderState(gfx::rs::StencilEnable, state_bool(true)))) return fail();
    } else {
        if (Failed(d.SetRenderState(gfx::rs::AlphaBlendEnable, state_bool(false)))) return fail();
        if (Failed(d.SetRenderState(gfx::rs::StencilEnable, state_bool(false)))) return fail();
    }

    const float w = lType == gfx::LightDirectional ? 0.0f : 1.0f;
    if (ClipEdges) {
        const Vec3& eye = LastCameraPos;
        const Plane planes[3] = {PlaneFromPoints(plane.Corner1, plane.Corner0, eye),
                                 PlaneFromPoints(plane.Corner2, plane.Corner1, eye),
                                 PlaneFromPoints(plane.Corner0, plane.Corner2, eye)};
        if (!set_clip_planes(d, planes)) return fail();
    } else if (Failed(d.SetRenderState(gfx::rs::ClipPlaneEnable, 0))) {
        return fail();
    }
    // The flattened geometry lies on the plane itself; the bias keeps it in front.
    if (Failed(d.SetRenderState(gfx::rs::ZBias, kShadowDepthBias))) return fail();
    ShadowMatrix = MatrixShadow(LightPos->x, LightPos->y, LightPos->z, w, plane.Plane);
    return true;
}

void cls3dEngine::SetReflectionState(const PlaneRecord* pPlaneTo, bool ClipEdges) {
    if (!D3DDevice) return;
    gfx::Device& d = *D3DDevice;

    if (pPlaneTo == nullptr) {
        // Switching off when the state is not on would put back a view saved long ago (or none at
        // all) over the camera's current one, so the view is only restored from a real switch-on.
        if (ReflectionOn && Failed(d.SetTransform(gfx::TsView, to_platform(SavedView)))) return;
        if (Failed(d.SetRenderState(gfx::rs::ClipPlaneEnable, 0))) return;
        ReflectionOn = false;
        return;
    }

    const PlaneRecord plane = *pPlaneTo;
    // Further planes while on keep the first saved view, so several mirrors can be drawn in turn.
    if (!ReflectionOn) {
        gfx::Matrix view;
        if (Failed(d.GetTransform(gfx::TsView, &view))) return;
        SavedView = from_platform(view);
        ReflectionOn = true;
    }
    // Points are mirrored first, then viewed.
    if (Failed(d.SetTransform(gfx::TsView, to_platform(MatrixReflect(plane.Plane) * SavedView)))) return;
    if (!ClipEdges) return;
    const Vec3 eye = mdlMain::MirrorPoint(plane, LastCameraPos);
    const Plane planes[3] = {PlaneFromPoints(plane.Corner1, eye, plane.Corner0),
                             PlaneFromPoints(plane.Corner2, eye, plane.Corner1),
                             PlaneFromPoints(plane.Corner0, eye, plane.Corner2)};
    set_clip_planes(d, planes);
}

} // namespace kl
