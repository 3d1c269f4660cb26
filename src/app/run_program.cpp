// The program's spine. A run-time failure anywhere here ends the program at once, silently and
// without writing the settings file; failures inside the scene never reach this far.
#include "app/run_program.h"

#include <chrono>
#include <ctime>
#include <iostream>
#include <memory>
#include <optional>

#include "app/bring_up_display.h"
#include "app/frm_param.h"
#include "app/run_statistics.h"
#include "app/screenshot.h"
#include "engine/cls3d_engine.h"
#include "engine/fault.h"
#include "engine/mdl_main.h"
#include "engine/number_text.h"
#include "platform/d3dx/mesh.h"
#include "platform/input/scripted_input.h"
#include "platform/os/message_box.h"
#include "platform/os/performance_counter.h"
#include "scene/run_scene.h"
#include "scene/scene_random.h"
#include "sim/data_files.h"
#include "sim/mdl_kl.h"

namespace kl::mdlKl {

namespace {

constexpr const char* kTitle = "Kelvane 3D";

void message(const char* text) { platform::ShowErrorMessage(kTitle, text); }

std::uint64_t seconds_since_midnight() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<std::uint64_t>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
}

// Input and engine go, and with them whatever the scene left behind after a quit: scene objects and
// shared mesh buffers are released first, while the device they were made on still exists.
void release_all() {
    scene::ReleaseScene();
    d3dx::ClearMeshFileCache();
    Input.reset();
    Engine.reset();
}

// What the run needs beyond the plain program, kept alive for the whole call.
struct RunExtras {
    std::optional<platform::FixedStepCounter> counter;
    std::optional<platform::KeyScript> script;
    std::optional<platform::ScriptedInputFactory> keys;
    RunStatistics stats;
};

void run(const Options& options, platform::WindowHandle hWnd, RunExtras& extras, scene::SceneObserver* observer) {
    const auto file = ChooseSettingsFile(DataRoot());
    if (!file) {
        message("Couldn't load the game. Kelvane 3D will exit now.");
        return;
    }
    const auto read = ReadSettingsFile(*file);
    if (!read) return;
    Settings = *read;

    static frmParam dialog; // stays loaded, hidden, for the whole run
    dialog = frmParam{};
    dialog.Load(Settings);
    if (options.roads) dialog.nbr_sim.Text = std::to_string(*options.roads);
    if (!options.no_dialog) {
        std::string error;
        const frmParam::ShowResult shown = dialog.Show(&error);
        if (shown == frmParam::ShowResult::Closed) return;
        if (shown == frmParam::ShowResult::Failed) {
            std::cerr << kTitle << ": the settings dialog could not be shown: " << error << "\n";
            return;
        }
    }
    extras.stats.MarkSetUpStart();

    std::string aspect = dialog.txtaspect_ratio.Text;
    for (char& c : aspect) {
        if (c == '.') c = ',';
    }
    FixedText<7> AspectText;
    AspectText = aspect;

    Settings.WorldSize = 64000.0f;
    Settings.AnisotropicFilter = 0;
    Settings.Spare24 = -1;
    Settings.Spare28 = 0;
    const DisplayMode typed = mdlMain::MakeDisplayMode(number_text_to_int32(dialog.txtResH.Text),
                                                      number_text_to_int32(dialog.txtResV.Text), 32);
    Settings.SetMode(typed);
    Settings.AntiAlias = 0;
    Settings.Spare16 = 0;
    Settings.ClearMode = 0;
    Settings.ResH = number_text_to_int32(dialog.txtResH.Text);
    Settings.ResV = number_text_to_int32(dialog.txtResV.Text);
    Settings.AspectRatio = AspectText;

    Engine = std::make_unique<cls3dEngine>();
    Input = std::make_unique<clsInput>();
    Engine->SetAspectRatioSource(&Settings.AspectRatio);
    if (options.fixed_step) Engine->SetPerformanceCounter(extras.counter.emplace(*options.fixed_step));
    if (extras.script) Input->SetInputFactory(extras.keys.emplace(std::move(*extras.script)));
    Settings.LastPlayer = 0;

    Engine->StartTimer();
    while (Engine->GetAbsTimeDiff() < 1.0f) {
    }
    Rnd.Seed(options.seed ? *options.seed : seconds_since_midnight());

    switch (BringUpDisplay(Settings.Width, Settings.Height, Settings.Format, Settings.AntiAlias, hWnd,
                           options.windowed)) {
    case 0:
        message("Couldn't find an usable 3d graphics card. Kelvane 3D will exit now.");
        return;
    case 1:
        // Let go of whatever input was taken, so the user can answer the message.
        try {
            Input->Cleanup();
        } catch (const Fault&) {
        }
        message("Couldn't get access to the keyboard. Kelvane 3D will exit now.");
        return;
    case 2:
        message("Couldn't change the screen resolution. Kelvane 3D will exit now.");
        return;
    default:
        break;
    }

    Gear = 1;
    scene::SceneHooks hooks;
    if (options.frames) hooks.MaxFrames = *options.frames;
    if (options.screenshot) {
        hooks.BeforeLastPresent = [&] {
            const std::string error = SaveScreenshot(*options.screenshot, Settings.Width, Settings.Height);
            if (!error.empty()) std::cerr << kTitle << ": no screenshot: " << error << "\n";
        };
    }
    hooks.AfterFrame = [&](const scene::SceneState& S) {
        gfx::Device::FrameCounts counts;
        if (Engine && Engine->Device() != nullptr) counts = Engine->Device()->LastFrameCounts();
        extras.stats.MarkFrame(counts.draw_calls, counts.vertices);
        if (options.stats && options.frames && extras.stats.Frames() == *options.frames)
            extras.stats.SetTrafficDigest(TrafficDigest(*S.Traffic));
    };
    hooks.Observer = observer;
    scene::RunScene(dialog.nbr_sim.Text, hooks);

    release_all();

    const std::string error = WriteSettingsFile(DataRoot(), Settings);
    if (!error.empty()) std::cerr << kTitle << ": the settings could not be saved: " << error << "\n";
}

} // namespace

void RunProgram(const Options& options, std::optional<platform::KeyScript> keys, platform::WindowHandle hWnd,
                scene::SceneObserver* observer) {
    RunExtras extras;
    extras.script = std::move(keys);
    try {
        run(options, hWnd, extras, observer);
    } catch (const Fault&) {
        // Ends the program silently, as any run-time failure here always has.
    }
    if (options.stats) {
        const std::string error = extras.stats.Write(*options.stats);
        if (!error.empty()) std::cerr << kTitle << ": " << error << "\n";
    }
    release_all();
}

} // namespace kl::mdlKl
