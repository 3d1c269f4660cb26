// Drains SDL's event queue so that event watchers see every pending event.
#include "platform/os/events.h"

#include <SDL.h>

namespace kl::platform {

bool StartSdlSubsystems(std::uint32_t sdl_flags) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(sdl_flags) == 0;
}

bool PumpEvents() {
    bool keep_running = true;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (e.type == SDL_QUIT) keep_running = false;
    }
    return keep_running;
}

} // namespace kl::platform
