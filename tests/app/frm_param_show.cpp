// Shows the settings dialog beside a main window, as the program does, filled from a settings record
// (ResH 800, ResV 600, aspect "1,333"), and prints how it ended and the texts of its fields.
#include "app/frm_param.h"
#include "platform/os/events.h"

#include <SDL.h>
#include <cstdio>
#include <string>

int main() {
    // Started as the program starts it: on a screen, or not at all.
    if (!kl::platform::StartSdlSubsystems(SDL_INIT_VIDEO)) {
        std::fprintf(stderr, "no display: %s\n", SDL_GetError());
        return 1;
    }
    // The main window holds a GL context, as the engine's will; keeping both to the end of the process
    // also keeps the GL driver loaded, so that LeakSanitizer does not take the driver's own
    // allocations for leaks once SDL has unloaded it.
    SDL_Window* main_window =
        SDL_CreateWindow("Kelvane", 0, 0, 320, 240, SDL_WINDOW_SHOWN | SDL_WINDOW_OPENGL);
    if (main_window != nullptr) SDL_GL_CreateContext(main_window);

    kl::SettingsRecord settings;
    settings.ResH = 800;
    settings.ResV = 600;
    settings.AspectRatio = "1,333";
    kl::frmParam dialog;
    dialog.Load(settings);

    std::string error;
    const auto result = dialog.Show(&error);
    const char* names[] = {"Validated", "Closed", "Failed"};
    std::printf("result=%s\n", names[static_cast<int>(result)]);
    if (!error.empty()) std::printf("error=%s\n", error.c_str());
    std::printf("txtResH=%s\ntxtResV=%s\ntxtaspect_ratio=%s\nnbr_sim=%s\n", dialog.txtResH.Text.c_str(),
                dialog.txtResV.Text.c_str(), dialog.txtaspect_ratio.Text.c_str(),
                dialog.nbr_sim.Text.c_str());
    std::fflush(stdout);
    return 0;
}
