// What the traffic statistics panel adds to a frame on the OpenGL back-end at 1024 x 768: a frame
// that only clears and presents, with and without the panel and a full minute of plot history.
// Compare the difference with the frame time of the real program at one road (its --stats median).
// Run with SDL_VIDEODRIVER=offscreen (set here unless given) or under xvfb-run.
#include "engine/cls3d_engine.h"
#include "engine/mdl_main.h"
#include "platform/gfx/gl/gl_backend.h"
#include "scene/traffic_panel.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kWidth = 1024, kHeight = 768;

struct GlEngine {
    GlEngine() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        aspect = "1,333";
        window = kl::gfx::CreateRenderWindow("panel bench", kWidth, kHeight, true);
        if (window == nullptr) return;
        engine = std::make_unique<kl::cls3dEngine>();
        engine->SetAspectRatioSource(&aspect);
        kl::DisplayMode mode{kWidth, kHeight, kl::gfx::FmtX8R8G8B8};
        ready = engine->Initialize(window) && engine->SetRes(&mode, 0, true);
    }
    ~GlEngine() {
        engine.reset();
        if (window != nullptr) kl::gfx::DestroyRenderWindow(window);
    }
    kl::platform::WindowHandle window = nullptr;
    kl::FixedText<7> aspect;
    std::unique_ptr<kl::cls3dEngine> engine;
    bool ready = false;
};

// 121 windows half a second apart: the most the plot ever shows, every lane a full line.
kl::SpeedHistory full_history(kl::TrafficFigures* latest) {
    kl::SpeedHistory history;
    for (int i = 0; i <= 120; ++i) {
        kl::TrafficFigures F;
        F.Time = 0.5 * i;
        for (int l = 0; l < 3; ++l) {
            F.Lanes[static_cast<std::size_t>(l)].Vehicles = 20;
            F.Lanes[static_cast<std::size_t>(l)].MeanSpeedKmh = 130 + 20 * std::sin(0.1 * i + l);
        }
        F.MeanSpeedKmh = 130;
        history.add(F);
        *latest = F;
    }
    return history;
}

void run(benchmark::State& state, bool with_panel, bool with_history = true) {
    GlEngine gl;
    if (!gl.ready) {
        state.SkipWithError("no OpenGL display");
        return;
    }
    kl::cls3dEngine& e = *gl.engine;
    kl::TrafficFigures latest;
    const kl::SpeedHistory history = with_history ? full_history(&latest) : kl::SpeedHistory{};
    kl::TrafficPanel panel;
    for (auto _ : state) {
        e.RenderStart(kl::mdlMain::MakeVec2(0, 0), kl::mdlMain::MakeVec2(0, 0));
        e.RenderClear(true, kl::mdlMain::ColorRGB(0, 0, 0), true, false);
        // Something the size of the screen to draw, as the scene always has: without it the driver
        // leaves even the clear undone.
        e.Render2dBox(0, 0, kWidth, kHeight, true, kl::mdlMain::ColorRGB(90, 120, 160));
        if (with_panel) panel.Draw(&latest, history, kWidth, kHeight);
        e.RenderEnd();
        e.RenderShow();
    }
    panel.Release();
}

void BM_Frame(benchmark::State& state) {
    run(state, false);
}
void BM_FrameWithPanel(benchmark::State& state) {
    run(state, true);
}
void BM_FrameWithPanelNoPlot(benchmark::State& state) {
    run(state, true, false);
}
BENCHMARK(BM_Frame)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FrameWithPanel)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FrameWithPanelNoPlot)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
