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
    for (const LaneFigures& L : F.Lanes) {
        line += "," + std::to_string(L.Vehicles);
        line += "," + fixed_decimals(L.MeanSpeedKmh, 2);
        line += "," + std::to_string(L.ChangesIn);
    }
    line += "," + fixed_decimals(F.MeanSpeedKmh, 2);
    line += "," + fixed_decimals(F.ChangesPerMinute, 2);
    line += "," + fixed_decimals(F.SpreadMetres, 2);
    return line + "\n";
}

} // namespace kl
