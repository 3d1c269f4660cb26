// The requested mode is used when the adapter lists it and can give the requested anti-aliasing;
// otherwise the first listed mode, without anti-aliasing, and no message.
#include "app/bring_up_display.h"

#include "fault/fault.h"
#include "sim/mdl_kl.h"

namespace kl::mdlKl {

namespace {

std::int32_t bring_up(std::int32_t Width, std::int32_t Height, std::int32_t Format, std::int32_t AntiAlias,
                      platform::WindowHandle hWnd, bool windowed) {
    ProgramState& P = Program();
    if (!P.Engine || !P.Input) return 0;
    if (!P.Engine->Initialize(hWnd)) return 0;
    if (!P.Engine->GetPossibleCaps(Format, false, &P.DeviceCaps)) return 0;
    if (!(P.DeviceCaps.MaxTextureWidth >= 256.0f && P.DeviceCaps.MaxTextureHeight >= 256.0f)) return 0;

    const DisplayMode* modes = nullptr;
    const std::int32_t count = P.Engine->GetPossibleRes(false, false, true, &modes);
    if (count <= 0 || modes == nullptr) return 0;
    P.ModeList.assign(modes, modes + count);

    bool found = false;
    for (const DisplayMode& m : P.ModeList) {
        if (m.Format == Format && m.Width == Width && m.Height == Height &&
            P.DeviceCaps.AntiAlias >= AntiAlias) {
            P.Settings.SetMode(m);
            P.Settings.AntiAlias = AntiAlias;
            found = true;
            break;
        }
    }
    if (!found) {
        P.Settings.SetMode(P.ModeList[0]);
        P.Settings.AntiAlias = 0;
    }

    if (!P.Input->Initialize(hWnd, true, true)) return 1;

    const DisplayMode mode = P.Settings.Mode();
    if (!P.Engine->SetRes(&mode, P.Settings.AntiAlias, windowed)) {
        try {
            P.Input->Cleanup();
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
