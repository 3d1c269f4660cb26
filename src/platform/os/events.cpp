// Drains SDL's event queue so that event watchers see every pending event.
#include "platform/os/events.h"

#include <SDL.h>

namespace kl::platform {

bool StartSdlSubsystems(std::uint32_t sdl_flags) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
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
