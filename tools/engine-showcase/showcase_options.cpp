// Command-line options of the engine showcase: --frames N, --screenshot FILE, --size WxH, --data DIR,
// --fog DENSITY, --help.
#include "showcase_options.h"

#include "command_line.h"

#include <charconv>

namespace kl::showcase {

namespace {

template <class T> bool parse_number(const std::string& text, T min, T max, T* out) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end || value < min || value > max) return false;
    *out = value;
    return true;
}

} // namespace

const char* const kUsage =
    "Usage: engine-showcase [--frames N] [--screenshot FILE.png] [--size WxH] [--data DIR] [--fog DENSITY]\n"
    "A window showing the engine's extras: planar shadows, a mirror, a turning picture and a texture\n"
    "painted pixel by pixel.\n\n"
    "  --frames N            stop after N frames (0, the default: run until the window is closed)\n"
    "  --screenshot FILE.png save the last frame as a PNG (one frame when --frames is not given)\n"
    "  --size WxH            the window's size, 64 to 8192 each way (default 800x600)\n"
    "  --data DIR            where the generated data folder is looked for (its textures are optional)\n"
    "  --fog DENSITY         fog density in thousandths, 0 to 1000 (default 0: no fog)\n"
    "  --help                show this text and exit (also -h)\n"
    "  --version             show the name and version and exit\n\n"
    "Exit status: 0 normal end, 1 when the window, device or screenshot failed, 2 for a bad command line.\n";

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (kl::tools::IsHelpOption(name)) {
            o.help = true;
            return o;
        }
        if (kl::tools::IsVersionOption(name)) {
            o.version = true;
            return o;
        }
        const bool known = name == "--frames" || name == "--fog" || name == "--screenshot" ||
                           name == "--data" || name == "--size";
        if (!known) {
            *error = kl::tools::UnwantedArgument(name);
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            *error = name + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        if (name == "--frames") {
            if (!parse_number<std::int64_t>(value, 0, 100'000'000, &o.frames)) {
                *error = "--frames takes a count from 0";
                return std::nullopt;
            }
        } else if (name == "--fog") {
            if (!parse_number(value, 0.0f, 1000.0f, &o.fog)) {
                *error = "--fog takes a density from 0 to 1000";
                return std::nullopt;
            }
        } else if ((name == "--screenshot" || name == "--data") && kl::tools::LooksLikeOption(value)) {
            *error = name + " needs a name, not the option " + value;
            return std::nullopt;
        } else if (name == "--screenshot") {
            o.screenshot = value;
        } else if (name == "--data") {
            o.data_dir = value;
        } else if (name == "--size") {
            const auto x = value.find('x');
            if (x == std::string::npos || !parse_number(value.substr(0, x), 64, 8192, &o.width) ||
                !parse_number(value.substr(x + 1), 64, 8192, &o.height)) {
                *error = "--size takes WIDTHxHEIGHT";
                return std::nullopt;
            }
        }
    }
    return o;
}

} // namespace kl::showcase
