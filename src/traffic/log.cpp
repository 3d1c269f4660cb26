// Rows are short and written twice a second, so plain string building does.
#include "traffic/log.h"

#include <charconv>
#include <cmath>

namespace kl {

std::string fixed_decimals(double value, int decimals) {
    if (!std::isfinite(value)) return {};
    char buf[400];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return std::string(buf, result.ptr);
}

std::string traffic_log_header() {
    std::string line = "time_s";
    for (int l = 0; l < 3; ++l) {
        const std::string lane = "lane" + std::to_string(l);
        line += "," + lane + "_vehicles," + lane + "_kmh," + lane + "_changes_in";
    }
    return line + ",mean_kmh,changes_per_min,spread_m\n";
}

std::string traffic_log_row(const TrafficFigures& F) {
    std::string line = fixed_decimals(F.Time, 3);
    // Each field appended after its comma: "," + a string is a false overlap warning of GCC 12 at -O3.
    const auto field = [&line](const std::string& text) { line.append(",").append(text); };
    for (const LaneFigures& L : F.Lanes) {
        field(std::to_string(L.Vehicles));
        field(fixed_decimals(L.MeanSpeedKmh, 2));
        field(std::to_string(L.ChangesIn));
    }
    field(fixed_decimals(F.MeanSpeedKmh, 2));
    field(fixed_decimals(F.ChangesPerMinute, 2));
    field(fixed_decimals(F.SpreadMetres, 2));
    return line + "\n";
}

} // namespace kl
