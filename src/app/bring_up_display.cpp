// The requested mode is used when the adapter lists it and can give the requested anti-aliasing;
// otherwise the first listed mode, without anti-aliasing, and no message.
#include "app/bring_up_display.h"

#include "fault/fault.h"
#include "sim/mdl_kl.h"

namespace kl::mdlKl {

namespace {

std::int32_t bring_up(std::int32_t Width, std::int32_t Height, std::int32_t Format, std::int32_t AntiAlias,
                      platform::WindowHandle hWnd, bool windowed) {
    if (!Engine || !Input) return 0;
    if (!Engine->Initialize(hWnd)) return 0;
    if (!Engine->GetPossibleCaps(Format, false, &DeviceCaps)) return 0;
    if (!(DeviceCaps.MaxTextureWidth >= 256.0f && DeviceCaps.MaxTextureHeight >= 256.0f)) return 0;

    const DisplayMode* modes = nullptr;
    const std::int32_t count = Engine->GetPossibleRes(false, false, true, &modes);
    if (count <= 0 || modes == nullptr) return 0;
    ModeList.assign(modes, modes + count);

    bool found = false;
    for (const DisplayMode& m : ModeList) {
        if (m.Format == Format && m.Width == Width && m.Height == Height &&
            DeviceCaps.AntiAlias >= AntiAlias) {
            Settings.SetMode(m);
            Settings.AntiAlias = AntiAlias;
            found = true;
            break;
        }
    }
    if (!found) {
        Settings.SetMode(ModeList[0]);
        Settings.AntiAlias = 0;
    }

    if (!Input->Initialize(hWnd, true, true)) return 1;

    const DisplayMode mode = Settings.Mode();
    if (!Engine->SetRes(&mode, Settings.AntiAlias, windowed)) {
        try {
            Input->Cleanup();
        } catch (const Fault&) {
        }
        return 2;
    }
    return 3;
}

} // namespace

std::int32_t BringUpDisplay(std::int32_t Width, std::int32_t Height, std::int32_t Format,
                            std::int32_t AntiAlias, platform::WindowHandle hWnd, bool windowed) {
    // Any run-time failure counts as "no usable adapter".
    try {
        return bring_up(Width, Height, Format, AntiAlias, hWnd, windowed);
    } catch (const Fault&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

} // namespace kl::mdlKl
