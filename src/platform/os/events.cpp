// Drains SDL's event queue so that event watchers see every pending event.
#include "platform/os/events.h"

#include <SDL.h>
#include <cstdlib>
#include <string_view>

namespace kl::platform {

bool StartSdlSubsystems(std::uint32_t sdl_flags) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(sdl_flags) == 0;
}

namespace {
bool unset(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr || *value == '\0';
}
} // namespace

std::string MissingDisplay() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    const std::string_view chosen = driver != nullptr ? driver : "";
    const bool x11 = chosen.empty() || chosen == "x11";
    const bool wayland = chosen.empty() || chosen == "wayland";
    if (!x11 && !wayland) return ""; // another driver (offscreen, kmsdrm...) needs no display named
    if (x11 && wayland) {
        if (unset("DISPLAY") && unset("WAYLAND_DISPLAY"))
            return "no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set)";
        return "";
    }
    if (x11 && unset("DISPLAY")) return "no display to open a window on (DISPLAY is not set)";
    if (wayland && unset("WAYLAND_DISPLAY"))
        return "no display to open a window on (WAYLAND_DISPLAY is not set)";
    return "";
}

namespace {
// Kept once seen: whoever drains the queue first must not swallow the request for the others.
bool close_requested = false;
} // namespace

bool PumpEvents() {
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        // With one window SDL turns its close into a quit event; with more, only the window hears it.
        if (e.type == SDL_QUIT || (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE))
            close_requested = true;
    }
    return !close_requested;
}

} // namespace kl::platform
