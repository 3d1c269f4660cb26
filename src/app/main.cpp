// Kelvane 3D: the main window "Kelvane" gives the engine and the input devices their window; the
// program runs inside it and ends when RunProgram returns.
#include "app/options.h"
#include "app/run_program.h"
#include "app/traffic_outputs.h"
#include "app/video_recording.h"
#include "platform/gfx/gl/gl_backend.h"
#include "platform/input/key_script.h"
#include "platform/os/events.h"
#include "sim/data_files.h"
#include "sim/traffic_parameters_file.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const kl::ParseResult parsed = kl::parse_options(args);
    if (parsed.kind == kl::ParseResult::Kind::Help) {
        std::cout << kl::options_help_text("kelvane3d");
        return 0;
    }
    if (parsed.kind == kl::ParseResult::Kind::Version) {
        std::cout << kl::version_text("kelvane3d");
        return 0;
    }
    if (parsed.kind == kl::ParseResult::Kind::Error) {
        std::cerr << "kelvane3d: " << parsed.error << "\nTry 'kelvane3d --help'.\n";
        return parsed.exit_code();
    }
    const kl::Options& options = parsed.options;
    std::optional<kl::platform::KeyScript> keys;
    if (options.keys) {
        kl::platform::KeyScriptResult script = kl::platform::LoadKeyScript(*options.keys);
        if (!script.script) {
            std::cerr << "kelvane3d: " << script.error << "\n";
            return kl::mdlKl::kExitBadCommandLine;
        }
        keys = std::move(script.script);
    }
    // Read again when the traffic is chosen; checked here so that a run never starts on defaults the
    // user did not ask for.
    if (options.traffic_parameters) {
        if (const std::string error = kl::CheckGivenTrafficParameters(*options.traffic_parameters);
            !error.empty()) {
            std::cerr << "kelvane3d: " << error << "\n";
            return kl::mdlKl::kExitBadCommandLine;
        }
    }
    kl::TrafficOutputs traffic;
    if (const std::string error = traffic.Open(options); !error.empty()) {
        std::cerr << "kelvane3d: " << error << "\n";
        return kl::mdlKl::kExitBadCommandLine;
    }

    if (options.video) {
        if (const std::string error = kl::PrepareVideoFile(*options.video); !error.empty()) {
            std::cerr << "kelvane3d: " << error << "\n";
            return kl::mdlKl::kExitBadCommandLine;
        }
    }

    std::error_code ec;
    const std::filesystem::path installed = kl::installed_data_dir();
    kl::SetDataRoot(kl::choose_data_root(options, std::filesystem::current_path(ec), installed));
    // The installed data is shared (and read-only for a user): each user's settings live apart.
    if (kl::is_installed_data(kl::DataRoot(), installed))
        kl::SetUserConfigFile(kl::user_config_file(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));

    int status = kl::mdlKl::kExitFailed;
    std::string window_error;
    if (options.headless) {
        // No window, so no display is needed.
        status = kl::mdlKl::RunProgramHeadless(options, &traffic.Watch());
    } else if (kl::platform::WindowHandle frmMain =
                   kl::gfx::CreateRenderWindow("Kelvane", 640, 480, false, &window_error);
               frmMain == nullptr) {
        // The first line the user reads names the cause (no display, one that cannot be reached).
        std::cerr << "kelvane3d: " << window_error << "\n";
    } else {
        kl::platform::PumpEvents();
        status = kl::mdlKl::RunProgram(options, std::move(keys), frmMain, &traffic.Watch());
        kl::gfx::DestroyRenderWindow(frmMain);
    }
    if (const std::string error = traffic.Finish(); !error.empty()) {
        // One line a problem, each naming the program.
        std::string::size_type from = 0;
        for (std::string::size_type end; (end = error.find('\n', from)) != std::string::npos; from = end + 1)
            std::cerr << "kelvane3d: " << error.substr(from, end - from) << "\n";
        std::cerr << "kelvane3d: " << error.substr(from) << "\n";
        status = kl::mdlKl::kExitFailed;
    }
    return status;
}
