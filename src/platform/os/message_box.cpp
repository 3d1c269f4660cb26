// SDL's simple message box; it talks to the display on its own, so it needs no initialised video
// subsystem, but it fails without a display, and then stderr is the only way left to tell the user.
#include "platform/os/message_box.h"

#include <SDL.h>
#include <cstdio>

namespace kl::platform {

bool ShowErrorMessage(const std::string& title, const std::string& text) {
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), text.c_str(), nullptr) == 0)
        return true;
    // The message first, on a line of its own; then why it is not in a box, for whoever looks into it.
    std::fprintf(stderr, "%s: %s\n(no message box: %s)\n", title.c_str(), text.c_str(), SDL_GetError());
    std::fflush(stderr);
    return false;
}

} // namespace kl::platform
