// Command-line options of the engine showcase: --frames N, --screenshot FILE, --size WxH, --data DIR,
// --fog DENSITY.
#include "showcase_options.h"

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

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
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
        } else {
            *error = "unknown option " + name;
            return std::nullopt;
        }
    }
    return o;
}

} // namespace kl::showcase
