// Starting SDL's subsystems on a screen the user can see, and draining SDL's event queue so that
// event watchers see every pending event.
#include "platform/os/events.h"

#include <SDL.h>
#include <cstdlib>
#include <string>

namespace kl::platform {
namespace {

bool set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// SDL falls back to its offscreen driver when no screen can be reached; a dialog or a scene there
// draws into nothing and waits for input that never comes. So, unless SDL_VIDEODRIVER names a driver
// (tests ask for offscreen on purpose), only the drivers that show windows are tried, and a display
// that cannot be reached is a failure with its cause in SDL_GetError().
bool start_video_on_a_screen(std::uint32_t sdl_flags) {
    if (set("SDL_VIDEODRIVER")) return SDL_InitSubSystem(sdl_flags) == 0;
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) return SDL_InitSubSystem(sdl_flags) == 0;
    if (!set("DISPLAY") && !set("WAYLAND_DISPLAY")) {
        SDL_SetError("no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set)");
        return false;
    }
    std::string tried;
    struct Screen {
        const char* driver;
        const char* variable;
    };
    // SDL's own order: X first, which a Wayland desktop also offers through XWayland.
    for (const Screen& screen : {Screen{"x11", "DISPLAY"}, Screen{"wayland", "WAYLAND_DISPLAY"}}) {
        const char* driver = screen.driver;
        const char* variable = screen.variable;
        if (!set(variable)) continue;
        SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
        const bool started = SDL_InitSubSystem(sdl_flags) == 0;
        SDL_ResetHint(SDL_HINT_VIDEODRIVER);
        if (started) return true;
        if (!tried.empty()) tried += "; ";
        tried += std::string(variable) + " \"" + std::getenv(variable) + "\": " + SDL_GetError();
    }
    SDL_SetError("cannot open a window on the display (%s)", tried.c_str());
    return false;
}

} // namespace

bool StartSdlSubsystems(std::uint32_t sdl_flags) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if ((sdl_flags & SDL_INIT_VIDEO) != 0) return start_video_on_a_screen(sdl_flags);
    return SDL_InitSubSystem(sdl_flags) == 0;
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
