// For test programs that draw through the OpenGL back-end; include it from exactly one file of the
// program. Under the sanitizers, LeakSanitizer's scan of thread-local storage trips over the GL
// driver's dynamic TLS, and the driver stack keeps allocations for the life of the process: both are
// set here rather than in the environment, so running the binary by hand behaves the same. The driver
// is kept loaded until the process ends (SDL unloads it with the last GL window), since LeakSanitizer
// can only attribute, and so suppress, the driver's allocations while it is loaded.
#pragma once

#include "platform/gfx/gl/gl_backend.h"

#include <gtest/gtest.h>
#include <stdlib.h>

extern "C" const char* __lsan_default_options() {
    return "use_tls=0:print_suppressions=0";
}
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libEGL\nleak:libGLX\nleak:libGLdispatch\nleak:libgallium\nleak:swrast_dri\nleak:libLLVM\n"
           "leak:libglapi\nleak:libSDL2\nleak:_dl_map_object\nleak:_dl_new_object\nleak:add_to_global_"
           "resize\n"
           "leak:dl_open_worker\n";
}

namespace kl::test {

class GlDriverKeeper : public ::testing::Environment {
  public:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        keeper_ = gfx::CreateRenderWindow("driver keeper", 1, 1, true);
    }
    // Deliberately never destroyed.
  private:
    platform::WindowHandle keeper_ = nullptr;
};

inline const auto* const gl_driver_keeper = ::testing::AddGlobalTestEnvironment(new GlDriverKeeper);

} // namespace kl::test
