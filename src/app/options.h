// Command-line options. Every one is off by default, so that a plain start behaves as the program
// always has; they exist for windowed use, tests, demos and measurements.
#pragma once

#include "traffic/model.h"
#include "traffic/ring.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kl {

struct Options {
    bool windowed = false;
    std::optional<std::filesystem::path> data; // folder holding 3z-idaveva/
    bool no_dialog = false;
    std::optional<std::int64_t> frames;        // stop after this many frames (0 or more)
    std::optional<std::filesystem::path> keys; // key script replayed instead of the keyboard
    std::optional<double> fixed_step;          // seconds per frame instead of the clock (> 0)
    std::optional<std::uint32_t> seed;         // random seed instead of the time of day
    std::optional<std::int16_t> roads;         // "Nombre de Sim" field text
    std::optional<std::filesystem::path> screenshot;
    std::optional<std::filesystem::path> stats;
    std::optional<std::filesystem::path> traffic_log;
    std::optional<std::filesystem::path> dump_traffic;
    std::optional<std::filesystem::path> video; // H.264 file of every frame (needs fixed_step)
    std::int32_t video_quality = 23;            // libx264 constant rate factor, 0 to 51
    TrafficModelKind traffic_model = TrafficModelKind::Classic;
    TrafficScenario scenario = TrafficScenario::Open;
    double ring_length = DefaultRingLength;                  // metres a lane, MinRingLength to MaxRingLength
    double road_length = DefaultRoadLength;                  // metres, MinRoadLength to MaxRoadLength
    std::optional<double> inflow;                            // vehicles/h a lane; the scenario's own without
    std::optional<double> ramp_inflow;                       // vehicles/h onto the on-ramp
    std::optional<std::filesystem::path> traffic_parameters; // instead of the file beside config.dat
    std::optional<std::filesystem::path> trajectories;       // floating-car data, CSV
    std::optional<std::filesystem::path> detectors;          // loop detector readings, CSV
    // Automated vehicles a lane, 0 to MaxAutomatedPerLane (ring and the inflow streets only).
    int automated_vehicles = 0;
    RoadVariation vary;                                      // one parameter spread over the roads

    // Experiments: runs without a window, and what they leave behind.
    bool headless = false;                         // no window, no dialog, no display
    std::optional<std::filesystem::path> summary;  // CSV, a row per road at the end
    std::optional<std::filesystem::path> diagrams; // PNG of road 0's F2 diagrams at the end
    bool lane_changes = true;                      // off: each lane a single-lane road
};

struct ParseResult {
    enum class Kind { Run, Help, Version, Error };
    Kind kind = Kind::Run;
    Options options;   // meaningful for Run
    std::string error; // for Error: one line naming the option and what is wrong

    // The process exit code when the program should not run: 0 after help or the version, 2 after an
    // error.
    int exit_code() const { return kind == Kind::Error ? 2 : 0; }
};

// args excludes the program name. Options come as "--name value" or "--name=value"; a later
// occurrence of an option replaces an earlier one. Never exits or prints.
ParseResult parse_options(const std::vector<std::string>& args);

// One line per option, for --help.
std::string options_help_text(const std::string& program_name);

// "PROGRAM (Kelvane 3D) VERSION", the project's version, for --version.
std::string version_text(const std::string& program_name);

// Where 3z-idaveva/ is looked for: the --data folder if given; otherwise the current directory if it
// holds 3z-idaveva/ (in any letter case), else the installed data folder.
std::filesystem::path choose_data_root(const Options& options, const std::filesystem::path& current_dir,
                                       const std::filesystem::path& installed_dir);

// The installed data folder: the one beside the installed program (an install tree moved or
// installed under another prefix), else the one fixed at build time.
std::filesystem::path installed_data_dir();

// The user's own settings file for installed data, which is shared and not the user's to write:
// $XDG_CONFIG_HOME/kelvane3d/config.dat, else $HOME/.config/kelvane3d/config.dat; nothing when
// neither gives an absolute folder. Arguments are the variables' values (null when unset).
std::optional<std::filesystem::path> user_config_file(const char* xdg_config_home, const char* home);

// Whether the data root chosen is the installed data folder (so the settings go to the user's).
bool is_installed_data(const std::filesystem::path& data_root, const std::filesystem::path& installed_dir);

} // namespace kl
