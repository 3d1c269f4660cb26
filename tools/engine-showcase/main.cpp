// The engine showcase: a window with planar shadows, a mirror, a turning picture and a texture
// painted pixel by pixel, optionally stopping after N frames and saving the last one as a PNG.
#include "command_line.h"
#include "engine/cls3d_engine.h"
#include "platform/gfx/gl/gl_backend.h"
#include "platform/os/events.h"
#include "screenshot.h"
#include "showcase_options.h"
#include "showcase_scene.h"

#include <cstdio>
#include <memory>

#ifndef KL_SHOWCASE_DATA_DIR
#define KL_SHOWCASE_DATA_DIR ""
#endif

namespace {

int run(const kl::showcase::Options& o) {
    kl::platform::WindowHandle window =
        kl::gfx::CreateRenderWindow("Kelvane engine showcase", o.width, o.height, false);
    if (window == nullptr) {
        std::fprintf(stderr, "engine-showcase: no window could be made\n");
        return 1;
    }
    int result = 0;
    {
        kl::FixedText<7> aspect;
        char text[16];
        std::snprintf(text, sizeof text, "%.3f", static_cast<double>(o.width) / o.height);
        for (char* c = text; *c != '\0'; ++c)
            if (*c == '.') *c = ',';
        aspect = text;
        bool closed = false;
        kl::cls3dEngine engine;
        engine.SetAspectRatioSource(&aspect);
        engine.SetMessagePump([&closed] {
            if (!kl::platform::PumpEvents()) closed = true;
            return !closed;
        });
        const kl::DisplayMode mode{o.width, o.height, kl::FmtX8R8G8B8};
        if (!engine.Initialize(window) || !engine.SetRes(&mode, 0, true)) {
            std::fprintf(stderr, "engine-showcase: the graphics device could not be set up\n");
            result = 1;
        } else {
            kl::showcase::Scene scene(engine, o.data_dir, o.width, o.height, o.fog);
            for (std::int64_t frame = 0; !closed && (o.frames == 0 || frame < o.frames); ++frame) {
                engine.RenderStart({0, 0}, {0, 0});
                engine.RenderClear(true, 0xFF8CB4E6, true, true);
                scene.Draw(frame);
                engine.RenderEnd();
                if (frame + 1 == o.frames && !o.screenshot.empty()) {
                    // The back buffer is read before the swap hands it back to the driver.
                    const auto pixels = kl::gfx::ReadBackBuffer(*engine.Device(), 0, 0, o.width, o.height);
                    if (!kl::showcase::WritePng(o.screenshot, o.width, o.height, pixels)) {
                        std::fprintf(stderr, "engine-showcase: could not write %s\n", o.screenshot.c_str());
                        result = 1;
                    }
                }
                engine.RenderShow();
            }
        }
    }
    kl::gfx::DestroyRenderWindow(window);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = kl::showcase::ParseOptions({argv + 1, argv + argc}, &error);
    if (!options) return kl::tools::RefuseCommandLine("engine-showcase", error);
    if (options->help) {
        std::fputs(kl::showcase::kUsage, stdout);
        return 0;
    }
    if (options->version) return kl::tools::PrintVersion("engine-showcase");
    kl::showcase::Options o = *options;
    if (o.data_dir.empty()) o.data_dir = KL_SHOWCASE_DATA_DIR;
    if (!o.screenshot.empty() && o.frames == 0) o.frames = 1;
    return run(o);
}
