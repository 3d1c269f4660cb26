// What the traffic statistics panel adds to a frame on the OpenGL back-end at 1024 x 768: a frame
// that only clears and presents, with and without the panel and a full minute of plot and diagram
// history, and with a new diagram sample every frame (drawn and sent to the texture each time).
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

// A minute of one road: 60 vehicles, each its own speed, one sample a column.
void add_diagram_sample(kl::SpaceTimeHistory& diagram, int i) {
    kl::SpaceTimeHistory::Sample s;
    s.Time = i * kl::SpaceTimeHistory::SampleSeconds;
    for (std::int32_t v = 0; v < 60; ++v)
        s.Points.push_back({v, 25.0 * static_cast<double>(v) + 30 * s.Time,
                            60 + 90 * std::sin(0.05 * i + static_cast<double>(v))});
    diagram.add(s);
}

void run(benchmark::State& state, bool with_panel, bool with_history = true, bool sample_each_frame = false) {
    GlEngine gl;
    if (!gl.ready) {
        state.SkipWithError("no OpenGL display");
        return;
    }
    kl::cls3dEngine& e = *gl.engine;
    kl::TrafficFigures latest;
    const kl::SpeedHistory history = with_history ? full_history(&latest) : kl::SpeedHistory{};
    kl::SpaceTimeHistory diagram;
    int samples = 0;
    if (with_history)
        for (; samples <= kl::SpaceTimeHistory::Width; ++samples)
            add_diagram_sample(diagram, samples);
    kl::TrafficPanel panel;
    for (auto _ : state) {
        if (sample_each_frame) add_diagram_sample(diagram, samples++);
        e.RenderStart(kl::mdlMain::MakeVec2(0, 0), kl::mdlMain::MakeVec2(0, 0));
        e.RenderClear(true, kl::mdlMain::ColorRGB(0, 0, 0), true, false);
        // Something the size of the screen to draw, as the scene always has: without it the driver
        // leaves even the clear undone.
        e.Render2dBox(0, 0, kWidth, kHeight, true, kl::mdlMain::ColorRGB(90, 120, 160));
        if (with_panel) panel.Draw(&latest, history, diagram, kWidth, kHeight);
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
void BM_FrameWithPanelNewSampleEachFrame(benchmark::State& state) {
    run(state, true, true, true);
}
BENCHMARK(BM_Frame)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FrameWithPanel)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FrameWithPanelNoPlot)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FrameWithPanelNewSampleEachFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
