// The device font's costs: a status line drawn every frame, a device font rebuilt after a reset,
// and a system font made from a name. Drawn on the recording back-end, so the figures are the
// font's own work plus the call recording, without a GPU driver.
#include "platform/d3dx/font.h"
#include "platform/gfx/recording/recording_system.h"

#include <benchmark/benchmark.h>

namespace {

using namespace kl;

struct Bench {
    gfx::RecordingSystem sys;
    gfx::DevicePtr device;
    std::unique_ptr<d3dx::SystemFont> font;
    Bench() {
        gfx::PresentParameters p;
        p.BackBufferWidth = 1024;
        p.BackBufferHeight = 768;
        p.BackBufferFormat = gfx::FmtX8R8G8B8;
        p.Windowed = true;
        sys.CreateDevice(0, gfx::DevTypeHal, nullptr, gfx::CreateHardwareVertexProcessing, &p, &device);
        d3dx::SystemFont::Create({"Arial", 20, 400, false, false}, &font);
    }
    // The log grows with every call; emptied now and then outside the measured part.
    void trim(benchmark::State& state, std::int64_t i) {
        if (i % 1024 != 0) return;
        state.PauseTiming();
        sys.Log().Clear();
        state.ResumeTiming();
    }
};

void BM_StatusLineEveryFrame(benchmark::State& state) {
    Bench b;
    std::unique_ptr<d3dx::DeviceFont> font;
    d3dx::DeviceFont::Create(b.device, *b.font, &font);
    const gfx::Rect rect{0, 0, 900, 20};
    const std::string line = "59.87 fps 1 58  812.5  1 speed 72.0 km/h";
    std::int64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(font->DrawText(line, -1, &rect, 0, 0xFFFFFFFF));
        b.trim(state, ++i);
    }
}
BENCHMARK(BM_StatusLineEveryFrame);

void BM_DeviceFontRebuiltAndFirstLine(benchmark::State& state) {
    Bench b;
    const gfx::Rect rect{0, 0, 900, 20};
    std::int64_t i = 0;
    for (auto _ : state) {
        std::unique_ptr<d3dx::DeviceFont> font;
        d3dx::DeviceFont::Create(b.device, *b.font, &font);
        benchmark::DoNotOptimize(
            font->DrawText("59.87 fps 1 58  812.5  1 speed 72.0 km/h", -1, &rect, 0, ~0u));
        b.trim(state, ++i);
    }
}
BENCHMARK(BM_DeviceFontRebuiltAndFirstLine);

void BM_SystemFontFromName(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<d3dx::SystemFont> font;
        benchmark::DoNotOptimize(d3dx::SystemFont::Create({"Arial", 20, 700, false, false}, &font));
    }
}
BENCHMARK(BM_SystemFontFromName);

} // namespace
