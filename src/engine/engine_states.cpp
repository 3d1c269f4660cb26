// Fixed settings of the device: projection, camera with roll, lights, specular, depth test,
// filtering, ambient light, fog, and the world transforms resource objects draw with.
#include "engine/cls3d_engine.h"
#include "engine/engine_platform.h"
#include "engine/math.h"
#include "engine/number_text.h"

#include <bit>
#include <optional>
#include <string>
#include <string_view>

namespace kl {

using engine_detail::errors_ignored;
using engine_detail::raise_on_failure;
using engine_detail::state_bool;
using engine_detail::to_platform;
using gfx::Dword;
using platform::Failed;

namespace {

constexpr float kNearPlane = 1.0f;
constexpr float kFarPlane = 50000.0f;
// SetFog's Density is in thousandths of a world unit: exponential-squared fog of density 1 / 1000
// leaves e^-1 (37 %) of an object's colour at 1000 units (metres in the scene) and 78 % at 500.
constexpr float kFogDensityScale = 1.0f / 1000.0f;

// The aspect text as a number written with a decimal comma; nothing when it is not a number.
std::optional<float> parse_aspect(std::string_view text) {
    try {
        return number_text_to_single(text, ',');
    } catch (const Fault&) {
        return std::nullopt;
    }
}

} // namespace

// MaxView has no effect: the far plane is always 50000.
void cls3dEngine::SetLookDistance(float /*MaxView*/, float MaxAngle) {
    if (!D3DDevice || AspectRatioSource == nullptr) return;
    const std::optional<float> aspect = parse_aspect(AspectRatioSource->str());
    // A zero aspect would divide by zero in the projection.
    if (!aspect || *aspect == 0.0f) return;
    const Matrix4 p = MatrixPerspectiveFovLH(MaxAngle, *aspect, kNearPlane, kFarPlane);
    errors_ignored(D3DDevice->SetTransform(gfx::TsProjection, to_platform(p)));
}

void cls3dEngine::SetCamera(const Vec3& CameraPos, const Vec3& CameraLookAt, float RollAngle) {
    LastCameraPos = CameraPos;
    if (!D3DDevice) return;
    Matrix4 v = MatrixLookAtLH(CameraPos, CameraLookAt, {0, 1, 0});
    if (RollAngle != 0) v = v * MatrixRotationZ(RollAngle);
    errors_ignored(D3DDevice->SetTransform(gfx::TsView, to_platform(v)));
}

bool cls3dEngine::SetLight(std::int32_t Index, const gfx::Light& Light) {
    if (!D3DDevice) return false;
    const auto index = static_cast<Dword>(Index);
    if (Failed(D3DDevice->SetLight(index, Light)) || Failed(D3DDevice->LightEnable(index, true)))
        return false;
    if (Index > HighestLight) HighestLight = Index;
    return true;
}

void cls3dEngine::SetLightState(std::int32_t Index, bool State) {
    if (D3DDevice) errors_ignored(D3DDevice->LightEnable(static_cast<Dword>(Index), State));
}

void cls3dEngine::SetSpecularState(bool State) {
    if (D3DDevice) errors_ignored(D3DDevice->SetRenderState(gfx::rs::SpecularEnable, state_bool(State)));
}

void cls3dEngine::SetZState(bool ReadEnable, bool WriteEnable) {
    if (!D3DDevice) return;
    errors_ignored(D3DDevice->SetRenderState(gfx::rs::ZEnable, state_bool(ReadEnable)));
    // Without the depth test the write state is left as it was.
    if (ReadEnable) errors_ignored(D3DDevice->SetRenderState(gfx::rs::ZWriteEnable, state_bool(WriteEnable)));
}

void cls3dEngine::SetAnisotropicState(bool State) {
    if (!D3DDevice) return;
    const Dword filter = State ? gfx::TexfAnisotropic : gfx::TexfLinear;
    if (Failed(D3DDevice->SetTextureStageState(0, gfx::tss::MagFilter, filter))) return;
    errors_ignored(D3DDevice->SetTextureStageState(0, gfx::tss::MinFilter, filter));
}

void cls3dEngine::SetGlobalLight(PackedColor Color) {
    if (D3DDevice) errors_ignored(D3DDevice->SetRenderState(gfx::rs::Ambient, Color));
}

// Colour and exponential-squared mode come from SetRes.
void cls3dEngine::SetFog(float Density) {
    if (!D3DDevice) return;
    if (Density != 0) {
        errors_ignored(D3DDevice->SetRenderState(gfx::rs::FogEnable, state_bool(true)));
        errors_ignored(
            D3DDevice->SetRenderState(gfx::rs::FogDensity, std::bit_cast<Dword>(Density * kFogDensityScale)));
    } else {
        errors_ignored(D3DDevice->SetRenderState(gfx::rs::FogEnable, state_bool(false)));
    }
}

void cls3dEngine::SetWorld(const Matrix4& A, const Matrix4& B) {
    if (!D3DDevice) throw Fault("No graphics device");
    raise_on_failure(D3DDevice->SetTransform(gfx::TsWorld, to_platform(B * A)),
                     "Setting the world transform");
}

void cls3dEngine::SetWorldWithShadow(const Matrix4& A, const Matrix4& B, const Matrix4& S) {
    if (!D3DDevice) throw Fault("No graphics device");
    raise_on_failure(D3DDevice->SetTransform(gfx::TsWorld, to_platform((B * A) * S)),
                     "Setting the world transform");
}

} // namespace kl
