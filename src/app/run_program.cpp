// The program's spine. A run-time failure anywhere here ends the program at once, with a line on
// stderr and without writing the settings file; failures inside the scene never reach this far.
#include "app/run_program.h"

#include "app/bring_up_display.h"
#include "app/field_checks.h"
#include "app/frm_param.h"
#include "app/run_statistics.h"
#include "app/screenshot.h"
#include "app/video_recording.h"
#include "engine/cls3d_engine.h"
#include "engine/mdl_main.h"
#include "engine/number_text.h"
#include "fault/fault.h"
#include "platform/d3dx/mesh.h"
#include "platform/input/scripted_input.h"
#include "platform/os/message_box.h"
#include "platform/os/performance_counter.h"
#include "scene/resumed_faults.h"
#include "scene/run_scene.h"
#include "scene/scene_random.h"
#include "sim/data_files.h"
#include "sim/mdl_kl.h"

#include <charconv>
#include <chrono>
#include <ctime>
#include <iostream>
#include <memory>
#include <optional>

namespace kl::mdlKl {

namespace {

constexpr const char* kTitle = "Kelvane 3D";

// A failed start: the message in a box (or on stderr without a display), and the exit status.
int failed_start(const char* text) {
    platform::ShowErrorMessage(kTitle, text);
    return kExitFailed;
}

// width / height as an aspect-ratio text the engine reads, written with the settings' decimal comma.
FixedText<7> aspect_text_of(std::int32_t width, std::int32_t height) {
    char text[32];
    const double ratio = height > 0 ? static_cast<double>(width) / height : 0.0;
    const auto end = std::to_chars(text, text + sizeof text, ratio, std::chars_format::fixed, 5).ptr;
    std::string s(text, end);
    for (char& c : s) {
        if (c == '.') c = ',';
    }
    FixedText<7> out;
    out = s;
    return out;
}

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
    // The aspect ratio the picture is drawn with: the settings' own, or width / height when the
    // stored one is no positive number (the settings file keeps what it held).
    FixedText<7> view_aspect;
    bool aspect_from_mode = false;
    std::optional<VideoRecording> video;
};

int run(const Options& options, platform::WindowHandle hWnd, RunExtras& extras,
        scene::SceneObserver* observer) {
    const auto file = ChooseSettingsFile(DataRoot(), ConfigFile());
    if (!file) return failed_start("Couldn't load the game. Kelvane 3D will exit now.");
    const auto read = ReadSettingsFile(*file);
    if (!read) {
        std::cerr << kTitle << ": the settings file " << file->string() << " could not be read\n";
        return kExitFailed;
    }
    Settings = *read;

    static frmParam dialog; // stays loaded, hidden, for the whole run
    dialog = frmParam{};
    dialog.Load(Settings);
    if (options.roads) dialog.nbr_sim.Text = std::to_string(*options.roads);
    if (!options.no_dialog) {
        std::string error;
        const frmParam::ShowResult shown = dialog.Show(&error);
        // Closing the dialog is the user's choice not to run; nothing has failed.
        if (shown == frmParam::ShowResult::Closed) return kExitNormal;
        if (shown == frmParam::ShowResult::Failed) {
            std::cerr << kTitle << ": the settings dialog could not be shown: " << error << "\n";
            return kExitFailed;
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
    extras.view_aspect = Settings.AspectRatio;
    if (!AspectRatioValue(Settings.AspectRatio.str())) {
        extras.aspect_from_mode = true;
        extras.view_aspect = aspect_text_of(Settings.Width, Settings.Height);
        std::string stored = Settings.AspectRatio.str();
        stored.erase(stored.find_last_not_of(' ') + 1);
        std::cerr << kTitle << ": the aspect ratio \"" << stored
                  << "\" is not a positive number; the picture uses width / height instead\n";
    }
    Engine->SetAspectRatioSource(&extras.view_aspect);
    if (options.fixed_step) Engine->SetPerformanceCounter(extras.counter.emplace(*options.fixed_step));
    if (extras.script) Input->SetInputFactory(extras.keys.emplace(std::move(*extras.script)));
    Settings.LastPlayer = 0;

    Engine->StartTimer();
    while (Engine->GetAbsTimeDiff() < 1.0f) {
    }
    Rnd.seed(options.seed ? *options.seed : seconds_since_midnight());

    switch (BringUpDisplay(Settings.Width, Settings.Height, Settings.Format, Settings.AntiAlias, hWnd,
                           options.windowed)) {
    case 0:
        return failed_start("Couldn't find an usable 3d graphics card. Kelvane 3D will exit now.");
    case 1:
        // Let go of whatever input was taken, so the user can answer the message.
        try {
            Input->Cleanup();
        } catch (const Fault&) {
        }
        return failed_start("Couldn't get access to the keyboard. Kelvane 3D will exit now.");
    case 2:
        return failed_start("Couldn't change the screen resolution. Kelvane 3D will exit now.");
    default:
        break;
    }
    // The mode set may differ from the one asked for; the scene sets the projection anew.
    if (extras.aspect_from_mode) extras.view_aspect = aspect_text_of(Settings.Width, Settings.Height);

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
            extras.stats.SetTrafficDigest(traffic_digest(*S.Traffic));
    };
    if (options.video && options.fixed_step) {
        extras.video.emplace(*options.video, options.video_quality, *options.fixed_step, options.frames);
        hooks.BeforePresent = [&] { extras.video->Frame(Settings.Width, Settings.Height); };
    }
    hooks.Observer = observer;
    scene::RunScene(dialog.nbr_sim.Text, hooks);

    release_all();

    // The run itself went through: settings that cannot be kept are said, not a failed run.
    const std::filesystem::path config = ConfigFile();
    std::error_code ec;
    if (ConfigFileIsUsers())
        std::filesystem::create_directories(config.parent_path(), ec); // failure: said below
    const std::string error = WriteSettingsFileTo(config, Settings);
    if (!error.empty())
        std::cerr << kTitle << ": the settings could not be saved: " << error << "\n";
    else
        std::cerr << kTitle << ": settings saved to " << config.string() << "\n";
    return kExitNormal;
}

} // namespace

int RunProgram(const Options& options, std::optional<platform::KeyScript> keys, platform::WindowHandle hWnd,
               scene::SceneObserver* observer) {
    RunExtras extras;
    extras.script = std::move(keys);
    int status = kExitFailed;
    try {
        status = run(options, hWnd, extras, observer);
    } catch (const Fault& fault) {
        std::cerr << kTitle << ": the program cannot go on: " << fault.what() << "\n";
    }
    // Faults the scene went on past are no failure of the run, but they are said: one line a place.
    std::vector<std::pair<std::string, std::int64_t>> faults;
    for (const scene::ResumedFaults::Place& p : scene::resumed_faults().places()) {
        std::cerr << kTitle << ": " << p.count << (p.count == 1 ? " fault" : " faults") << " resumed past at "
                  << p.where << "\n";
        faults.emplace_back(p.where, p.count);
    }
    extras.stats.SetResumedFaults(std::move(faults));
    if (options.stats) {
        const std::string error = extras.stats.Write(*options.stats);
        if (!error.empty()) {
            std::cerr << kTitle << ": " << error << "\n";
            status = kExitFailed;
        }
    }
    if (extras.video) {
        if (const std::string error = extras.video->Finish(); !error.empty()) {
            std::cerr << kTitle << ": " << error << "\n";
            status = kExitFailed;
        }
    }
    release_all();
    return status;
}

} // namespace kl::mdlKl
