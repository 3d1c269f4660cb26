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
#include "scene/run_scene.h"
#include "sim/data_files.h"
#include "sim/mdl_kl.h"
#include "sim/traffic_parameters_file.h"

#include <charconv>
#include <chrono>
#include <ctime>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

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
    scene::ReleaseScene(Program());
    d3dx::ClearMeshFileCache();
    Program().Input.reset();
    Program().Engine.reset();
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

// Each start-up step below either goes on (nothing) or ends the run with an exit status.
using Ending = std::optional<int>;

// The settings file: the data folder's config.dat (or the user's), else default.dat. Without a
// window the message goes to stderr alone: a box would wait for someone to answer it.
Ending read_settings(bool headless = false) {
    const auto file = ChooseSettingsFile(DataRoot(), ConfigFile());
    constexpr const char* kNoSettings = "Couldn't load the game. Kelvane 3D will exit now.";
    if (!file && headless) {
        std::cerr << kTitle << ": " << kNoSettings << "\n";
        return kExitFailed;
    }
    if (!file) return failed_start(kNoSettings);
    const auto read = ReadSettingsFile(*file);
    if (!read) {
        std::cerr << kTitle << ": the settings file " << file->string() << " could not be read\n";
        return kExitFailed;
    }
    Program().Settings = *read;
    return std::nullopt;
}

// The dialog, filled from the settings and --roads; shown unless --no-dialog.
Ending run_settings_dialog(const Options& options, frmParam& dialog) {
    dialog = frmParam{};
    dialog.Load(Program().Settings);
    if (options.roads) dialog.nbr_sim.Text = std::to_string(*options.roads);
    if (options.no_dialog) return std::nullopt;
    std::string error;
    const frmParam::ShowResult shown = dialog.Show(&error);
    // Closing the dialog is the user's choice not to run; nothing has failed.
    if (shown == frmParam::ShowResult::Closed) return kExitNormal;
    if (shown == frmParam::ShowResult::Failed) {
        std::cerr << kTitle << ": the settings dialog could not be shown: " << error << "\n";
        return kExitFailed;
    }
    return std::nullopt;
}

// The dialog's fields into the settings, and the fields every run sets to the same values.
void take_dialog_fields(const frmParam& dialog) {
    SettingsRecord& settings = Program().Settings;
    std::string aspect = dialog.txtaspect_ratio.Text;
    for (char& c : aspect) {
        if (c == '.') c = ',';
    }
    FixedText<7> AspectText;
    AspectText = aspect;

    settings.WorldSize = 64000.0f;
    settings.AnisotropicFilter = 0;
    settings.Spare24 = -1;
    settings.Spare28 = 0;
    const DisplayMode typed = mdlMain::MakeDisplayMode(number_text_to_int32(dialog.txtResH.Text),
                                                       number_text_to_int32(dialog.txtResV.Text), 32);
    settings.SetMode(typed);
    settings.AntiAlias = 0;
    settings.Spare16 = 0;
    settings.ClearMode = 0;
    settings.ResH = number_text_to_int32(dialog.txtResH.Text);
    settings.ResV = number_text_to_int32(dialog.txtResV.Text);
    settings.AspectRatio = AspectText;
}

// The engine and the input objects, with the aspect ratio the picture is drawn with, and the fixed
// clock and key script when the command line asks for them.
void make_engine_and_input(const Options& options, RunExtras& extras) {
    ProgramState& P = Program();
    P.Engine = std::make_unique<cls3dEngine>();
    P.Input = std::make_unique<clsInput>();
    extras.view_aspect = P.Settings.AspectRatio;
    if (!AspectRatioValue(P.Settings.AspectRatio.str())) {
        extras.aspect_from_mode = true;
        extras.view_aspect = aspect_text_of(P.Settings.Width, P.Settings.Height);
        std::string stored = P.Settings.AspectRatio.str();
        stored.erase(stored.find_last_not_of(' ') + 1);
        std::cerr << kTitle << ": the aspect ratio \"" << stored
                  << "\" is not a positive number; the picture uses width / height instead\n";
    }
    P.Engine->SetAspectRatioSource(&extras.view_aspect);
    if (options.fixed_step) P.Engine->SetPerformanceCounter(extras.counter.emplace(*options.fixed_step));
    if (extras.script) P.Input->SetInputFactory(extras.keys.emplace(std::move(*extras.script)));
    P.Settings.LastPlayer = 0;
}

// One second on the engine clock before the display comes up, as the start always took. Measured
// on that clock (a --fixed-step clock moves a step at each reading), and slept through in steps of a
// millisecond, so that the wait leaves the cores to others.
void wait_one_engine_second(cls3dEngine& engine) {
    engine.StartTimer();
    while (engine.GetAbsTimeDiff() < 1.0f)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The random source, the traffic model and the car-following model's stored parameters.
void choose_traffic(const Options& options) {
    ProgramState& P = Program();
    P.Rnd.seed(options.seed ? *options.seed : seconds_since_midnight());
    P.TrafficKind = options.traffic_model;
    P.RingLength = options.ring_length;
    P.RoadLength = options.road_length;
    // Negative: the scenario's own inflow.
    P.Inflow = options.inflow.value_or(-1.0);
    P.RampInflow = options.ramp_inflow.value_or(-1.0);
    P.Vary = options.vary;
    P.AutomatedPerLane = options.automated_vehicles;
    if (options.traffic_parameters) P.TrafficParametersGiven = *options.traffic_parameters;
    P.LaneChanges = options.lane_changes;
    if (const std::string problem = ChooseScenario(P, options.scenario, ConfigFile().parent_path());
        !problem.empty())
        std::cerr << kTitle << ": " << problem << "\n";
}

// The display mode, the device and the keyboard; a failure ends the start with its message.
Ending bring_up_display(const Options& options, platform::WindowHandle hWnd, RunExtras& extras) {
    ProgramState& P = Program();
    switch (BringUpDisplay(P.Settings.Width, P.Settings.Height, P.Settings.Format, P.Settings.AntiAlias, hWnd,
                           options.windowed)) {
    case 0:
        return failed_start("Couldn't find an usable 3d graphics card. Kelvane 3D will exit now.");
    case 1:
        // Let go of whatever input was taken, so the user can answer the message.
        try {
            P.Input->Cleanup();
        } catch (const Fault&) {
        }
        return failed_start("Couldn't get access to the keyboard. Kelvane 3D will exit now.");
    case 2:
        return failed_start("Couldn't change the screen resolution. Kelvane 3D will exit now.");
    default:
        break;
    }
    // The mode set may differ from the one asked for; the scene sets the projection anew.
    if (extras.aspect_from_mode) extras.view_aspect = aspect_text_of(P.Settings.Width, P.Settings.Height);
    return std::nullopt;
}

// What the command line hangs on the frame loop: the frame limit, the screenshot, the statistics,
// the video and the observer.
scene::SceneHooks scene_hooks(const Options& options, RunExtras& extras, scene::SceneObserver* observer) {
    ProgramState& P = Program();
    scene::SceneHooks hooks;
    if (options.frames) hooks.MaxFrames = *options.frames;
    if (options.screenshot) {
        hooks.BeforeLastPresent = [&options, &P] {
            const std::string error =
                SaveScreenshot(*options.screenshot, P.Settings.Width, P.Settings.Height);
            if (!error.empty()) std::cerr << kTitle << ": no screenshot: " << error << "\n";
        };
    }
    hooks.AfterFrame = [&options, &extras, &P](const scene::SceneState& S) {
        gfx::Device::FrameCounts counts;
        if (P.Engine && P.Engine->Device() != nullptr) counts = P.Engine->Device()->LastFrameCounts();
        extras.stats.MarkFrame(counts.draw_calls, counts.vertices);
        if (options.stats && options.frames && extras.stats.Frames() == *options.frames)
            if (S.Model) extras.stats.SetTrafficDigest(traffic_digest(S.Model->tables()));
    };
    if (options.video && options.fixed_step) {
        extras.video.emplace(*options.video, options.video_quality, *options.fixed_step, options.frames);
        hooks.BeforePresent = [&extras, &P] { extras.video->Frame(P.Settings.Width, P.Settings.Height); };
    }
    hooks.Observer = observer;
    return hooks;
}

// The run itself went through: settings that cannot be kept are said, not a failed run.
void save_settings() {
    const std::filesystem::path config = ConfigFile();
    std::error_code ec;
    if (ConfigFileIsUsers())
        std::filesystem::create_directories(config.parent_path(), ec); // failure: said below
    const std::string error = WriteSettingsFileTo(config, Program().Settings);
    if (!error.empty())
        std::cerr << kTitle << ": the settings could not be saved: " << error << "\n";
    else
        std::cerr << kTitle << ": settings saved to " << config.string() << "\n";
}

int run(const Options& options, platform::WindowHandle hWnd, RunExtras& extras,
        scene::SceneObserver* observer) {
    static frmParam dialog; // stays loaded, hidden, for the whole run
    if (const Ending end = read_settings()) return *end;
    if (const Ending end = run_settings_dialog(options, dialog)) return *end;
    extras.stats.MarkSetUpStart();
    take_dialog_fields(dialog);
    make_engine_and_input(options, extras);
    wait_one_engine_second(*Program().Engine);
    choose_traffic(options);
    if (const Ending end = bring_up_display(options, hWnd, extras)) return *end;

    Program().Gear = 1;
    scene::RunScene(Program(), scene::RunConfiguration{dialog.RoadCount()},
                    scene_hooks(options, extras, observer));
    release_all();
    save_settings();
    return kExitNormal;
}

// Experiments: the traffic alone, with no window, device or input. The settings file and the
// parameter files are read as for a run with a window, so that both run the same traffic; nothing
// the user could change is written back.
int run_headless(const Options& options, RunExtras& extras, scene::SceneObserver* observer) {
    static frmParam dialog;
    if (const Ending end = read_settings(true)) return *end;
    Options no_dialog = options;
    no_dialog.no_dialog = true;
    if (const Ending end = run_settings_dialog(no_dialog, dialog)) return *end;
    extras.stats.MarkSetUpStart();
    choose_traffic(options);

    scene::SceneHooks hooks;
    hooks.MaxFrames = *options.frames;
    hooks.Observer = observer;
    std::int64_t updates = 0;
    double seconds = 0;
    hooks.AfterFrame = [&](const scene::SceneState& S) {
        extras.stats.MarkFrame();
        updates += static_cast<std::int64_t>(S.Street.Vehicles.size());
        seconds += S.FrameTime;
        if (extras.stats.Frames() == *options.frames && S.Model)
            extras.stats.SetTrafficDigest(traffic_digest(S.Model->tables()));
    };
    scene::RunTrafficAlone(Program(), scene::RunConfiguration{dialog.RoadCount()}, hooks,
                           *options.fixed_step);
    extras.stats.SetTrafficRun(seconds, updates);
    return kExitNormal;
}

// After a run: the faults resumed past said, the statistics and the video written, and everything
// released; the exit status, made 1 when something could not be written.
int finish_run(const Options& options, RunExtras& extras, int status) {
    // Faults the scene went on past are no failure of the run, but they are said: one line a place.
    std::vector<std::pair<std::string, std::int64_t>> faults;
    for (const ResumedFaults::Place& p : Program().Faults.places()) {
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

} // namespace

int RunProgramHeadless(const Options& options, scene::SceneObserver* observer) {
    RunExtras extras;
    int status = kExitFailed;
    try {
        status = run_headless(options, extras, observer);
    } catch (const Fault& fault) {
        std::cerr << kTitle << ": the program cannot go on: " << fault.what() << "\n";
    }
    return finish_run(options, extras, status);
}

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
    return finish_run(options, extras, status);
}

} // namespace kl::mdlKl
