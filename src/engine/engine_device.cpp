// The engine's life cycle and everything about adapter and device: adapter choice, display modes,
// capabilities, device creation and the reset that carries resources and states across.
#include "engine/cls3d_engine.h"
#include "engine/mdl_main.h"
#include "fault/fault.h"
#include "platform/gfx/gl/gl_backend.h"
#include "platform/os/events.h"

#include <algorithm>
#include <array>
#include <numbers>

namespace kl {

using gfx::Dword;
using platform::Failed;
using platform::Status;
using platform::Succeeded;

namespace {

cls3dEngine* current_engine = nullptr;

constexpr std::array<std::int32_t, 3> kStencilDepthFormats{FmtD15S1, FmtD24S8, FmtD24X4S4};

// The states a device reset loses, read before it and set again after.
struct SavedStates {
    struct Light {
        Dword index;
        gfx::Light light;
        bool enabled;
    };
    gfx::Matrix view, projection;
    std::vector<Light> lights;
    std::vector<std::pair<std::int32_t, Dword>> render_states;
    Dword mag_filter = 0;
};

bool save_states(gfx::Device& d, std::int32_t highest_light, SavedStates& saved) {
    if (Failed(d.GetTransform(gfx::TsView, &saved.view)) ||
        Failed(d.GetTransform(gfx::TsProjection, &saved.projection)))
        return false;
    for (std::int32_t i = 0; i <= highest_light; ++i) {
        // Indices below the highest that were never given a light have nothing to carry over; the
        // platform refuses to read them, and that must not make every later reset fail.
        SavedStates::Light light{static_cast<Dword>(i), {}, false};
        if (Failed(d.GetLight(light.index, &light.light))) continue;
        if (Failed(d.GetLightEnable(light.index, &light.enabled))) light.enabled = false;
        saved.lights.push_back(light);
    }
    for (std::int32_t c = 0; c <= 254; ++c) {
        if (!cls3dEngine::IsValidRenderState(c)) continue;
        Dword value = 0;
        if (Failed(d.GetRenderState(c, &value))) return false;
        saved.render_states.emplace_back(c, value);
    }
    return !Failed(d.GetTextureStageState(0, gfx::tss::MagFilter, &saved.mag_filter));
}

bool restore_states(gfx::Device& d, const SavedStates& saved) {
    if (Failed(d.SetTransform(gfx::TsView, saved.view)) ||
        Failed(d.SetTransform(gfx::TsProjection, saved.projection)))
        return false;
    for (const SavedStates::Light& l : saved.lights)
        if (Failed(d.SetLight(l.index, l.light)) || Failed(d.LightEnable(l.index, l.enabled))) return false;
    for (const auto& [state, value] : saved.render_states)
        if (Failed(d.SetRenderState(state, value))) return false;
    return !Failed(d.SetTextureStageState(0, gfx::tss::MagFilter, saved.mag_filter)) &&
           !Failed(d.SetTextureStageState(0, gfx::tss::MinFilter, saved.mag_filter));
}

} // namespace

cls3dEngine* CurrentEngine() {
    return current_engine;
}

gfx::Device* CurrentDevice() {
    return current_engine != nullptr ? current_engine->Device() : nullptr;
}

GraphicsFactory DefaultGraphicsFactory() {
    return [] { return std::shared_ptr<gfx::GraphicsSystem>(gfx::CreateGlGraphicsSystem()); };
}

cls3dEngine::cls3dEngine() : Factory(DefaultGraphicsFactory()), MessagePump(platform::PumpEvents) {
    current_engine = this;
}

cls3dEngine::~cls3dEngine() {
    Cleanup();
    for (const RegistryEntry& e : Registry)
        std::erase(e.pObj->RegisteredWith, this);
    if (current_engine == this) current_engine = nullptr;
}

bool cls3dEngine::Initialize(platform::WindowHandle phWnd) {
    Cleanup();
    AdapterIndex = -1;
    StencilAvailable = false;
    ZBiasAvailable = false;
    ShadowOn = false;
    ReflectionOn = false;
    DefaultMaterial = mdlMain::MakeMaterial(255, 255, 255, 0, 0, 0, 0, 0);
    ObjectsStored = false;
    HighestLight = -1;
    hWnd = phWnd;

    GraphicsSystem = Factory ? Factory() : nullptr;
    if (!GraphicsSystem) return false;

    // The last qualifying adapter wins, but one with hardware transform and lighting is never
    // displaced by one without.
    bool hardware_tnl_taken = false;
    const Dword count = GraphicsSystem->GetAdapterCount();
    for (Dword i = 0; i < count; ++i) {
        gfx::Caps caps;
        if (Failed(GraphicsSystem->GetDeviceCaps(i, gfx::DevTypeHal, &caps))) return false;
        const bool qualifies =
            (caps.PresentationIntervals & (gfx::PresentIntervalImmediate | gfx::PresentIntervalOne)) != 0;
        if (!qualifies) continue;
        const bool hardware_tnl = (caps.DevCaps & gfx::DevCapsHwTransformAndLight) != 0;
        if (hardware_tnl_taken && !hardware_tnl) continue;
        AdapterIndex = static_cast<std::int32_t>(i);
        Caps = caps;
        hardware_tnl_taken = hardware_tnl_taken || hardware_tnl;
    }
    if (AdapterIndex == -1) return false;
    VertexProcessing = (Caps.DevCaps & gfx::DevCapsHwTransformAndLight) ? gfx::CreateHardwareVertexProcessing
                                                                        : gfx::CreateSoftwareVertexProcessing;
    return true;
}

// AllowUnusualRes and Allow32bpp filter nothing: the program's one caller relies on seeing every
// size from 640x480 up in both accepted formats.
std::int32_t cls3dEngine::GetPossibleRes(bool AllowBelow640, bool /*AllowUnusualRes*/, bool /*Allow32bpp*/,
                                         const DisplayMode** pOutRes) {
    Modes.clear();
    if (pOutRes != nullptr) *pOutRes = nullptr;
    if (!GraphicsSystem) return 0;
    const auto adapter = static_cast<Dword>(AdapterIndex);
    const Dword count = GraphicsSystem->GetAdapterModeCount(adapter);
    for (Dword j = 0; j < count; ++j) {
        gfx::DisplayModeInfo m;
        if (Failed(GraphicsSystem->EnumAdapterModes(adapter, j, &m))) {
            Modes.clear();
            return 0;
        }
        if (!AllowBelow640 && (m.Width < 640 || m.Height < 480)) continue;
        if (m.Format != FmtR5G6B5 && m.Format != FmtX8R8G8B8) continue;
        const bool listed = std::any_of(Modes.begin(), Modes.end(), [&](const DisplayMode& d) {
            return d.Width == m.Width && d.Height == m.Height && d.Format == m.Format;
        });
        if (!listed) Modes.push_back({m.Width, m.Height, m.Format});
    }
    if (pOutRes != nullptr && !Modes.empty()) *pOutRes = Modes.data();
    return static_cast<std::int32_t>(Modes.size());
}

bool cls3dEngine::GetPossibleCaps(std::int32_t dxFormat, bool dxWindowed, EngineCaps* pOutCaps) {
    if (!GraphicsSystem || pOutCaps == nullptr) return false;
    const auto adapter = static_cast<Dword>(AdapterIndex);
    std::int32_t format = dxFormat;
    if (dxWindowed) {
        gfx::DisplayModeInfo current;
        if (Failed(GraphicsSystem->GetAdapterDisplayMode(adapter, &current))) return false;
        format = current.Format;
    }

    EngineCaps caps;
    caps.Anisotropic = ToBool16(Caps.MaxAnisotropy > 1);
    caps.Fog = ToBool16((Caps.RasterCaps & gfx::RasterCapsZFog) != 0);

    auto supported = [&](std::int32_t samples) {
        return Succeeded(GraphicsSystem->CheckDeviceMultiSampleType(adapter, gfx::DevTypeHal, format,
                                                                    dxWindowed, samples));
    };
    std::int32_t s = 2;
    if (supported(s)) {
        do {
            s *= 2;
        } while (s <= 8 && supported(s));
    }
    caps.AntiAlias = s / 2 == 1 ? 0 : s / 2;

    caps.MaxTextureWidth = static_cast<float>(Caps.MaxTextureWidth);
    caps.MaxTextureHeight = static_cast<float>(Caps.MaxTextureHeight);

    if (Caps.RasterCaps & gfx::RasterCapsZBias) {
        caps.DepthBias = kTrue16;
        const bool stencil_format =
            std::any_of(kStencilDepthFormats.begin(), kStencilDepthFormats.end(), [&](auto ds) {
                return Succeeded(
                    GraphicsSystem->CheckDepthStencilMatch(adapter, gfx::DevTypeHal, format, format, ds));
            });
        caps.Shadows = ToBool16(stencil_format && (Caps.StencilCaps & gfx::StencilCapsDecr) != 0);
    }
    caps.Specular = ToBool16((Caps.ShadeCaps & gfx::ShadeCapsSpecularGouraudRgb) != 0);

    *pOutCaps = caps;
    return true;
}

bool cls3dEngine::SetRes(const DisplayMode* pRes, std::int32_t pAntiAlias, bool pWindowed) {
    if (pRes == nullptr || !GraphicsSystem) return false;
    const DisplayMode mode = *pRes;
    gfx::PresentParameters params;
    if (!PresentParametersFor(mode, pAntiAlias, pWindowed, params)) return false;

    const ModeRecord old{StencilAvailable, ZBiasAvailable, Windowed, CurrentMode, AntiAlias};
    if (Caps.RasterCaps & gfx::RasterCapsZBias) {
        ZBiasAvailable = true;
        StencilAvailable = params.AutoDepthStencilFormat != FmtD16;
    }
    CurrentMode = mode;
    AntiAlias = pAntiAlias;
    Windowed = pWindowed;

    if (!D3DDevice) return CreateDevice(params, mode) && FinishSetRes(true);
    return ResetDevice(params, old);
}

bool cls3dEngine::PresentParametersFor(const DisplayMode& mode, std::int32_t antialias, bool windowed,
                                       gfx::PresentParameters& params) {
    const auto adapter = static_cast<Dword>(AdapterIndex);
    params.BackBufferWidth = static_cast<Dword>(mode.Width);
    params.BackBufferHeight = static_cast<Dword>(mode.Height);
    params.BackBufferCount = 1;
    params.MultiSampleType = antialias;
    params.SwapEffect = 1;
    params.hDeviceWindow = hWnd;
    params.EnableAutoDepthStencil = true;
    params.Flags = 0;
    params.FullScreen_RefreshRateInHz = 0;
    if (windowed) {
        gfx::DisplayModeInfo current;
        if (Failed(GraphicsSystem->GetAdapterDisplayMode(adapter, &current))) return false;
        params.Windowed = true;
        params.BackBufferFormat = current.Format;
        params.FullScreen_PresentationInterval = 0;
    } else {
        params.Windowed = false;
        params.BackBufferFormat = mode.Format;
        if (Caps.PresentationIntervals & gfx::PresentIntervalImmediate)
            params.FullScreen_PresentationInterval = gfx::PresentIntervalImmediate;
        else if (Caps.PresentationIntervals & gfx::PresentIntervalOne)
            params.FullScreen_PresentationInterval = gfx::PresentIntervalOne;
        else
            params.FullScreen_PresentationInterval = 0;
    }

    params.AutoDepthStencilFormat = FmtD16;
    for (const std::int32_t ds : kStencilDepthFormats) {
        if (Succeeded(GraphicsSystem->CheckDepthStencilMatch(
                adapter, gfx::DevTypeHal, params.BackBufferFormat, params.BackBufferFormat, ds))) {
            params.AutoDepthStencilFormat = ds;
            break;
        }
    }
    return true;
}

bool cls3dEngine::CreateDevice(const gfx::PresentParameters& params, const DisplayMode& mode) {
    gfx::PresentParameters created = params;
    gfx::DevicePtr device;
    if (Failed(GraphicsSystem->CreateDevice(static_cast<Dword>(AdapterIndex), gfx::DevTypeHal, hWnd,
                                            static_cast<Dword>(VertexProcessing), &created, &device)) ||
        !device)
        return false;
    D3DDevice = std::move(device);
    PresentParams = created;
    SetLookDistance(50000.0f, std::numbers::pi_v<float> / 4.0f);
    SetCamera({0, 0, 0}, {0, 0, 1}, 0.0f);
    SetAnisotropicState(false);
    Viewport = {0, 0, static_cast<float>(mode.Width), static_cast<float>(mode.Height)};
    const std::pair<std::int32_t, Dword> defaults[] = {
        {gfx::rs::SrcBlend, gfx::BlendSrcAlpha},
        {gfx::rs::DestBlend, gfx::BlendInvSrcAlpha},
        {gfx::rs::FogColor, mdlMain::ColorRGB(250, 250, 250)},
        {gfx::rs::FogTableMode, gfx::FogExp2},
        {gfx::rs::StencilFunc, gfx::CmpLess},
        {gfx::rs::StencilPass, gfx::SopDecr},
    };
    for (const auto& [state, value] : defaults)
        if (Failed(D3DDevice->SetRenderState(state, value))) return false;
    return true;
}

bool cls3dEngine::ResetDevice(const gfx::PresentParameters& params, const ModeRecord& old) {
    SavedStates saved;
    if (!save_states(*D3DDevice, HighestLight, saved)) return false;
    if (Failed(D3DDevice->SetTexture(0, nullptr))) return false;
    try {
        CleanupObjects();
    } catch (const Fault&) {
        return false;
    }

    bool result = true;
    gfx::PresentParameters wanted = params;
    if (Failed(D3DDevice->Reset(&wanted))) {
        gfx::PresentParameters previous = PresentParams;
        // Neither mode: the objects stay stored and the new mode stays recorded, so the next
        // recovery attempt retries it and restores the objects once.
        if (Failed(D3DDevice->Reset(&previous))) return false;
        StencilAvailable = old.Stencil;
        ZBiasAvailable = old.ZBias;
        CurrentMode = old.Mode;
        AntiAlias = old.AntiAlias;
        Windowed = old.Windowed;
        result = false;
    } else {
        PresentParams = wanted;
    }
    // A reset puts the platform's viewport back to the whole back buffer; the cache must say so, or
    // the next RenderStart asking for the viewport used before would skip setting it.
    Viewport = {0, 0, static_cast<float>(PresentParams.BackBufferWidth),
                static_cast<float>(PresentParams.BackBufferHeight)};

    try {
        RestoreObjects();
    } catch (const Fault&) {
        return false;
    }
    if (!restore_states(*D3DDevice, saved)) return false;
    return FinishSetRes(result);
}

bool cls3dEngine::FinishSetRes(bool result) {
    D3DDevice->ShowCursor(false);
    if (Failed(D3DDevice->SetTextureStageState(0, gfx::tss::MaxAnisotropy, Caps.MaxAnisotropy)) ||
        Failed(D3DDevice->SetTextureStageState(0, gfx::tss::AlphaArg1, gfx::TaDiffuse)) ||
        Failed(D3DDevice->SetTextureStageState(0, gfx::tss::AlphaArg2, gfx::TaTexture)))
        return false;
    return result;
}

std::int32_t cls3dEngine::GetFormatBPP(std::int32_t Format) {
    switch (Format) {
    case FmtR8G8B8:
        return 24;
    case FmtA8R8G8B8:
    case FmtX8R8G8B8:
        return 32;
    case FmtR5G6B5:
    case FmtX1R5G5B5:
    case FmtA1R5G5B5:
    case FmtA4R4G4B4:
    case FmtA8R3G3B2:
    case FmtX4R4G4B4:
        return 16;
    case FmtR3G3B2:
    case FmtA8:
        return 8;
    default:
        return 0;
    }
}

bool cls3dEngine::IsValidRenderState(std::int32_t c) {
    return gfx::IsKnownRenderState(c);
}

void cls3dEngine::Cleanup() {
    D3DDevice.reset();
    GraphicsSystem.reset();
}

} // namespace kl
