// Command-line parsing: a table of options, each with its own value check, so that a bad value is
// named precisely instead of being half-applied.
#include "app/options.h"

#include "kl_version.h"
#include "platform/os/files.h"
#include "traffic/tables.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <string_view>
#include <system_error>

#ifndef KL_INSTALLED_DATA_DIR
#define KL_INSTALLED_DATA_DIR "/usr/local/share/kelvane3d"
#endif
#ifndef KL_DATA_FROM_BIN
#define KL_DATA_FROM_BIN "../share/kelvane3d"
#endif

namespace kl {
namespace {

// An error text, empty when the value was taken.
using Apply = std::function<std::string(Options&, const std::string&)>;

struct OptionSpec {
    std::string_view name;
    std::string_view metavar; // empty for a switch
    std::string_view help;
    Apply apply;
};

// A whole number written with plain digits (and a minus sign, so that a negative value gets a
// clear message rather than "not a number").
std::string parse_count(const std::string& value, long long min, long long max, long long& out) {
    long long v = 0;
    const char* first = value.data();
    const char* last = first + value.size();
    const auto [end, ec] = std::from_chars(first, last, v);
    if (value.empty() || end != last || (ec != std::errc() && ec != std::errc::result_out_of_range))
        return "'" + value + "' is not a whole number";
    if (ec == std::errc::result_out_of_range && value.front() == '-')
        return "'" + value + "' is too small (at least " + std::to_string(min) + ")";
    if (ec == std::errc::result_out_of_range || v > max)
        return "'" + value + "' is too large (at most " + std::to_string(max) + ")";
    if (v < min) return "'" + value + "' is too small (at least " + std::to_string(min) + ")";
    out = v;
    return "";
}

Apply path_into(std::optional<std::filesystem::path> Options::*field) {
    return [field](Options& o, const std::string& v) {
        o.*field = std::filesystem::path(v);
        return std::string();
    };
}

// The whole of v as one finite number.
bool parse_finite(const std::string& v, double& out) {
    const char* first = v.data();
    const char* last = first + v.size();
    const auto [end, ec] = std::from_chars(first, last, out, std::chars_format::general);
    return !v.empty() && end == last && ec == std::errc() && std::isfinite(out);
}

// A value named by a word: lookup gives it, or nothing for a word it does not know.
template <typename Field, typename Lookup>
Apply named_into(Field Options::*field, Lookup lookup, std::string what) {
    return [field, lookup, what](Options& o, const std::string& v) {
        const auto value = lookup(v);
        if (!value) return "'" + v + "' is not " + what;
        o.*field = *value;
        return std::string();
    };
}

// A number of metres from low to high, as "low to high metres" says when it is not.
Apply metres_into(double Options::*field, double low, double high) {
    return [field, low, high](Options& o, const std::string& v) {
        double s = 0;
        if (!parse_finite(v, s)) return "'" + v + "' is not a number of metres";
        if (s < low || s > high)
            return "'" + v + "' is outside " + std::to_string(std::lround(low)) + " to " +
                   std::to_string(std::lround(high)) + " metres";
        o.*field = s;
        return std::string();
    };
}

// Vehicles an hour, 0 to high.
Apply flow_into(std::optional<double> Options::*field, double high) {
    return [field, high](Options& o, const std::string& v) {
        double s = 0;
        if (!parse_finite(v, s)) return "'" + v + "' is not a number of vehicles an hour";
        if (s < 0 || s > high)
            return "'" + v + "' is outside 0 to " + std::to_string(std::lround(high)) + " vehicles an hour";
        o.*field = s;
        return std::string();
    };
}

const std::string kRoadsHelp = "number of road strips (0 to " + std::to_string(MaxRoadCount) +
                               "), put into the dialog's \"Nombre de Sim\" field";

const std::vector<OptionSpec>& option_table() {
    static const std::vector<OptionSpec> table = {
        {"windowed", "", "run in a window instead of full screen",
         [](Options& o, const std::string&) {
             o.windowed = true;
             return std::string();
         }},
        {"data", "DIR",
         "folder that holds 3z-idaveva/ (default: the current folder, then the installed data)",
         path_into(&Options::data)},
        {"no-dialog", "", "skip the settings dialog and use the stored settings",
         [](Options& o, const std::string&) {
             o.no_dialog = true;
             return std::string();
         }},
        {"frames", "N", "quit after N frames",
         [](Options& o, const std::string& v) {
             long long n = 0;
             std::string err = parse_count(v, 0, std::numeric_limits<std::int64_t>::max(), n);
             if (err.empty()) o.frames = n;
             return err;
         }},
        {"keys", "FILE", "replay the key script FILE instead of reading the keyboard",
         path_into(&Options::keys)},
        {"fixed-step", "SECONDS", "advance every frame by SECONDS instead of the measured time",
         [](Options& o, const std::string& v) {
             double s = 0;
             if (!parse_finite(v, s)) return "'" + v + "' is not a number of seconds";
             if (!(s > 0)) return "'" + v + "' must be more than 0 seconds";
             o.fixed_step = s;
             return std::string();
         }},
        {"seed", "N", "seed the random generator with N (0 to 4294967295) instead of the time of day",
         [](Options& o, const std::string& v) {
             long long n = 0;
             std::string err = parse_count(v, 0, std::numeric_limits<std::uint32_t>::max(), n);
             if (err.empty()) o.seed = static_cast<std::uint32_t>(n);
             return err;
         }},
        {"roads", "N", kRoadsHelp,
         [](Options& o, const std::string& v) {
             long long n = 0;
             std::string err = parse_count(v, 0, MaxRoadCount, n);
             if (err.empty()) o.roads = static_cast<std::int16_t>(n);
             return err;
         }},
        {"screenshot", "FILE", "save the last frame as a PNG image in FILE", path_into(&Options::screenshot)},
        {"stats", "FILE", "write frame-time, set-up, memory and draw-call statistics to FILE",
         path_into(&Options::stats)},
        {"traffic-log", "FILE", "write traffic statistics to FILE (CSV, a row every half second)",
         path_into(&Options::traffic_log)},
        {"dump-traffic", "FILE", "write the traffic tables to FILE (JSON) when the program ends",
         path_into(&Options::dump_traffic)},
        {"traffic-model", "NAME",
         "the traffic: classic (the program's own, default) or idm (car-following with MOBIL lane "
         "changes); M switches while running",
         named_into(&Options::traffic_model, traffic_model_named, "a traffic model (classic or idm)")},
        {"scenario", "NAME",
         "the car-following model's street: open (default), ring (each lane a closed loop of "
         "--ring-length metres), roadworks (a road fed at its start whose right lane is closed "
         "for 300 m) or onramp (a road fed at its start that an on-ramp joins); also chosen in the "
         "F3 panel. A scenario other than open runs the car-following model (idm) and is refused "
         "with --traffic-model classic",
         named_into(&Options::scenario, traffic_scenario_named,
                    "a scenario (open, ring, roadworks or onramp)")},
        {"ring-length", "METRES",
         "length of the ring a lane, 200 to 2000; default 250. Refused without --scenario ring",
         metres_into(&Options::ring_length, MinRingLength, MaxRingLength)},
        {"road-length", "METRES",
         "length of the road of roadworks and onramp, 1000 to 20000; default 4000. Refused on the "
         "other streets",
         metres_into(&Options::road_length, MinRoadLength, MaxRoadLength)},
        {"inflow", "VEH_PER_H",
         "vehicles an hour entering each lane of the road of roadworks and onramp, 0 to 3000; "
         "default the scenario's own. Refused on the other streets",
         flow_into(&Options::inflow, MaxInflow)},
        {"ramp-inflow", "VEH_PER_H",
         "vehicles an hour entering the on-ramp, 0 to 2500; default the scenario's own. Refused "
         "without --scenario onramp",
         flow_into(&Options::ramp_inflow, MaxRampInflow)},
        {"traffic-parameters", "FILE",
         "read the car-following model's parameters from FILE (as traffic-model.txt) instead of the "
         "file beside the settings. A missing or unreadable FILE, or a bad line in it, is refused "
         "before the start",
         path_into(&Options::traffic_parameters)},
        {"trajectories", "FILE",
         "write every vehicle's position, speed and acceleration to FILE (CSV, every 0.5 s of "
         "simulated time)",
         path_into(&Options::trajectories)},
        {"detectors", "FILE",
         "write the car-following model's loop detectors to FILE (CSV: every 250 m of every lane, a "
         "row per loop, lane and 60 s of simulated time); refused with the program's own traffic",
         path_into(&Options::detectors)},
        {"vary", "KEY=FROM:TO",
         "give each road its own value of one parameter, evenly from FROM on road 0 to TO on the last: "
         "KEY is a name of traffic-model.txt, or ring_length_m (--scenario ring), "
         "inflow_veh_per_h_per_lane (roadworks, onramp) or ramp_inflow_veh_per_h (onramp); values "
         "outside the key's range are refused. Brings --traffic-model idm",
         [](Options& o, const std::string& v) {
             std::string problem;
             const std::optional<RoadVariation> vary = parse_variation(v, &problem);
             if (vary) o.vary = *vary;
             return vary ? std::string() : problem;
         }},
        {"automated-vehicles", "N",
         "automated vehicles a lane, 0 to 5, that damp stop-and-go waves: on the ring that many of "
         "each lane's vehicles, on roadworks and onramp the same share of those entering (one in "
         "20 / N); A switches the followed vehicle, and the F3 panel has a slider. Refused on the "
         "open street",
         [](Options& o, const std::string& v) {
             long long n = 0;
             std::string err = parse_count(v, 0, MaxAutomatedPerLane, n);
             if (err.empty()) o.automated_vehicles = static_cast<int>(n);
             return err;
         }},
        {"video", "FILE", "encode every frame into FILE (H.264 MP4) at 1 / --fixed-step frames per second",
         path_into(&Options::video)},
        {"video-quality", "Q", "quality of --video, 0 (lossless, large) to 51 (smallest); default 23",
         [](Options& o, const std::string& v) {
             long long n = 0;
             std::string err = parse_count(v, 0, 51, n);
             if (err.empty()) o.video_quality = static_cast<std::int32_t>(n);
             return err;
         }},
        // Experiments.
        {"headless", "",
         "run without a window, dialog or display, as fast as the traffic steps; needs --fixed-step "
         "and --frames",
         [](Options& o, const std::string&) {
             o.headless = true;
             return std::string();
         }},
        {"summary", "FILE",
         "write one CSV row per road to FILE at the end: vehicles, speeds and flow over the last third "
         "of the run, and on the ring the linear growth rate of a disturbance",
         path_into(&Options::summary)},
        {"diagrams", "FILE",
         "write road 0's space-time and fundamental diagrams (the F2 pictures) to FILE as a PNG image at "
         "the end",
         path_into(&Options::diagrams)},
        {"lane-changes", "on|off",
         "off: no vehicle of the car-following model changes lane, each lane is a road of its own; "
         "also switched in the F3 panel. off is refused with the program's own traffic",
         [](Options& o, const std::string& v) {
             if (v != "on" && v != "off") return "'" + v + "' is not on or off";
             o.lane_changes = v == "on";
             return std::string();
         }},
    };
    return table;
}

// Options that mean something on one scenario's street only: on another they would be dropped
// unseen, so they are refused there. Each such option is one line here.
// The scenarios an option is allowed on, one bit each.
constexpr unsigned scenario_bit(TrafficScenario s) {
    return 1u << static_cast<unsigned>(s);
}
struct ScenarioOption {
    std::string_view name;
    unsigned scenarios;
};
constexpr unsigned kInflowScenarios =
    scenario_bit(TrafficScenario::Roadworks) | scenario_bit(TrafficScenario::Onramp);
constexpr ScenarioOption kScenarioOptions[] = {
    {"ring-length", scenario_bit(TrafficScenario::Ring)},
    {"road-length", kInflowScenarios},
    {"inflow", kInflowScenarios},
    {"ramp-inflow", scenario_bit(TrafficScenario::Onramp)},
    {"automated-vehicles", scenario_bit(TrafficScenario::Ring) | kInflowScenarios},
};

// "ring", "roadworks or onramp".
std::string scenario_names(unsigned scenarios) {
    std::string text;
    for (const TrafficScenario s : AllScenarios) {
        if ((scenarios & scenario_bit(s)) == 0) continue;
        if (!text.empty()) text += " or ";
        text += traffic_scenario_name(s);
    }
    return text;
}

const OptionSpec* find_option(std::string_view name) {
    for (const auto& spec : option_table())
        if (spec.name == name) return &spec;
    return nullptr;
}

ParseResult error(std::string text) {
    ParseResult r;
    r.kind = ParseResult::Kind::Error;
    r.error = std::move(text);
    return r;
}

} // namespace

ParseResult parse_options(const std::vector<std::string>& args) {
    ParseResult result;
    std::vector<std::string_view> given; // names of the options taken
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.kind = ParseResult::Kind::Help;
            continue;
        }
        if (arg == "--version") {
            if (result.kind != ParseResult::Kind::Help) result.kind = ParseResult::Kind::Version;
            continue;
        }
        if (arg.size() <= 2 || arg.compare(0, 2, "--") != 0)
            return error("unexpected argument '" + arg + "' (options start with --; see --help)");

        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const OptionSpec* spec = find_option(name);
        if (spec == nullptr) return error("unknown option '--" + name + "' (see --help)");

        std::string value;
        if (spec->metavar.empty()) {
            if (eq != std::string::npos) return error("option --" + name + " takes no value");
        } else if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else {
            // A following option is a forgotten value, not a value that happens to start with "--".
            if (i + 1 >= args.size() || args[i + 1].compare(0, 2, "--") == 0)
                return error("option --" + name + " needs a value " + std::string(spec->metavar));
            value = args[++i];
        }
        if (!spec->metavar.empty() && value.empty())
            return error("option --" + name + " needs a value " + std::string(spec->metavar));

        if (const std::string err = spec->apply(result.options, value); !err.empty())
            return error("option --" + name + ": " + err);
        given.push_back(spec->name);
    }
    if (result.kind != ParseResult::Kind::Run) return result;
    Options& o = result.options;
    const auto was_given = [&given](std::string_view name) {
        return std::find(given.begin(), given.end(), name) != given.end();
    };
    // A sweep is of the car-following model or of its streets; the program's own traffic has neither.
    if (o.vary.active()) {
        if (!was_given("traffic-model"))
            o.traffic_model = TrafficModelKind::Idm;
        else if (o.traffic_model == TrafficModelKind::Classic)
            return error("options --vary and --traffic-model classic do not go together (a sweep runs the "
                         "car-following model, idm)");
        const auto street_key = [&](std::string_view key, unsigned scenarios) -> std::optional<ParseResult> {
            if (o.vary.Key != key || (scenarios & scenario_bit(o.scenario)) != 0) return std::nullopt;
            return error("option --vary " + std::string(key) + " needs --scenario " + scenario_names(scenarios));
        };
        if (auto e = street_key(RingLengthKey, scenario_bit(TrafficScenario::Ring))) return *e;
        if (auto e = street_key(InflowKey, kInflowScenarios)) return *e;
        if (auto e = street_key(RampInflowKey, scenario_bit(TrafficScenario::Onramp))) return *e;
        if (o.detectors && o.vary.Key == RingLengthKey)
            return error("options --detectors and --vary ring_length_m do not go together (the loops stand at "
                         "the same places on every road)");
    }
    // The scenarios are streets of the car-following model; the program's own traffic has none.
    if (o.scenario != TrafficScenario::Open) {
        const std::string scenario = traffic_scenario_name(o.scenario);
        if (!was_given("traffic-model"))
            o.traffic_model = TrafficModelKind::Idm;
        else if (o.traffic_model == TrafficModelKind::Classic)
            return error("options --scenario " + scenario +
                         " and --traffic-model classic do not go together (a scenario runs the "
                         "car-following model, idm)");
    }
    for (const ScenarioOption& needs : kScenarioOptions)
        if (was_given(needs.name) && (needs.scenarios & scenario_bit(o.scenario)) == 0)
            return error("option --" + std::string(needs.name) + " needs --scenario " +
                         scenario_names(needs.scenarios));
    // The loops measure the car-following model's vehicles in metres and m/s; the program's own
    // traffic would give a file of empty rows.
    if (o.detectors && o.traffic_model == TrafficModelKind::Classic)
        return error("option --detectors needs the car-following model (--traffic-model idm, or --scenario "
                     "ring, roadworks or onramp)");
    // A video of measured frame times would play too fast or too slow, and never the same twice.
    if (o.video && !o.fixed_step)
        return error(
            "option --video needs --fixed-step SECONDS (the video plays at 1 / SECONDS frames per second)");
    // Experiments: a run without a window has no clock to measure and no key to end it, and nothing
    // to take a picture of or read keys from.
    if (o.headless) {
        if (!o.fixed_step || !o.frames)
            return error("option --headless needs --fixed-step SECONDS and --frames N (a run without a "
                         "window has no clock and no key to end it)");
        for (const std::string_view needs_window : {"screenshot", "video", "keys"})
            if (was_given(needs_window))
                return error("options --headless and --" + std::string(needs_window) +
                             " do not go together (there is no window)");
    }
    if (!o.lane_changes && o.traffic_model == TrafficModelKind::Classic)
        return error("option --lane-changes off needs the car-following model (--traffic-model idm, or "
                     "--scenario ring, roadworks or onramp)");
    return result;
}

std::string options_help_text(const std::string& program_name) {
    std::string text =
        "Usage: " + program_name +
        " [options]\n"
        "Without options: the settings dialog, then full screen until Escape and Return quit.\n\n";
    std::size_t width = 0;
    for (const auto& spec : option_table())
        width = std::max(width, spec.name.size() + spec.metavar.size() + 1);
    auto line = [&](std::string_view left, std::string_view help) {
        std::string l = "  --" + std::string(left);
        l.resize(std::max(l.size() + 2, width + 6), ' ');
        text += l + std::string(help) + "\n";
    };
    for (const auto& spec : option_table())
        line(spec.metavar.empty() ? std::string(spec.name)
                                  : std::string(spec.name) + " " + std::string(spec.metavar),
             spec.help);
    line("help", "show this list and exit");
    line("version", "show the program's name and version and exit");
    text += "\nValues may also be written --option=VALUE.\n"
            "\nSettings: 3z-idaveva/config.dat (else default.dat) in the data folder: the --data folder,\n"
            "else the current folder if it holds 3z-idaveva/. With the installed data, they are read from\n"
            "and saved to $XDG_CONFIG_HOME/kelvane3d/config.dat (~/.config/kelvane3d/config.dat), the\n"
            "installed default.dat serving until then. Where they were saved is said on stderr.\n"
            "\nExit status: 0 after a normal end (the quit prompt, closing the window, --frames reached,\n"
            "the settings dialog closed); 1 when the start failed or the run could not go on (a message\n"
            "says why); 2 for a bad command line.\n";
    return text;
}

std::string version_text(const std::string& program_name) {
    return program_name + " (" + kProjectName + ") " + kVersion + "\n";
}

std::filesystem::path choose_data_root(const Options& options, const std::filesystem::path& current_dir,
                                       const std::filesystem::path& installed_dir) {
    if (options.data) return *options.data;
    std::error_code ec;
    if (std::filesystem::is_directory(platform::ResolvePath(current_dir, "3z-idaveva"), ec))
        return current_dir;
    return installed_dir;
}

std::filesystem::path installed_data_dir() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto beside = (program.parent_path() / KL_DATA_FROM_BIN).lexically_normal();
        if (std::filesystem::is_directory(platform::ResolvePath(beside, "3z-idaveva"), ec)) return beside;
    }
    return KL_INSTALLED_DATA_DIR;
}

std::optional<std::filesystem::path> user_config_file(const char* xdg_config_home, const char* home) {
    // A relative value is to be ignored: it would make the file depend on the current folder.
    std::filesystem::path folder;
    if (xdg_config_home != nullptr && std::filesystem::path(xdg_config_home).is_absolute())
        folder = xdg_config_home;
    else if (home != nullptr && std::filesystem::path(home).is_absolute())
        folder = std::filesystem::path(home) / ".config";
    else
        return std::nullopt;
    return folder / "kelvane3d" / "config.dat";
}

bool is_installed_data(const std::filesystem::path& data_root, const std::filesystem::path& installed_dir) {
    std::error_code ec;
    return std::filesystem::equivalent(data_root, installed_dir, ec);
}

} // namespace kl
