// Values are written in the shortest form that reads back to the same double, so a saved file
// restores the panel exactly; a value is taken only when the whole of it is one finite number.
#include "traffic/parameter_text.h"

#include <charconv>
#include <cmath>

namespace kl {

namespace {

constexpr std::string_view kSpace = " \t\r";

std::string_view trimmed(std::string_view s) {
    const std::size_t first = s.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kSpace) - first + 1);
}

std::string number_text(double v) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, result.ptr);
}

// Long enough for any number a person writes; a longer value is shown cut, not whole.
std::string shown(std::string_view s) {
    constexpr std::size_t kShown = 24;
    return s.size() <= kShown ? std::string(s) : std::string(s.substr(0, kShown)) + "...";
}

// The problem with one line, empty when it was taken.
std::string read_line(std::string_view line, IdmParameters& P) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return "no \"name = value\"";
    const std::string_view name = trimmed(line.substr(0, equals)), value = trimmed(line.substr(equals + 1));
    const ParameterField* field = nullptr;
    for (const ParameterField& f : parameter_fields())
        if (name == f.Name) field = &f;
    if (field == nullptr) return "unknown name \"" + shown(name) + "\"";
    double v = 0;
    const auto result = std::from_chars(value.data(), value.data() + value.size(), v);
    if (value.empty() || result.ec != std::errc() || result.ptr != value.data() + value.size() ||
        !std::isfinite(v))
        return std::string(field->Name) + " is not a number: \"" + shown(value) + "\"";
    if (v < field->Low || v > field->High)
        return std::string(field->Name) + " = " + shown(value) + " is outside " + number_text(field->Low) +
               " to " + number_text(field->High);
    P.*(field->Member) = v;
    return {};
}

} // namespace

const std::vector<ParameterField>& parameter_fields() {
    // Wide enough for any traffic worth watching, narrow enough that the model stays stable: a zero
    // speed, headway or acceleration would stop the traffic or divide by zero.
    static const std::vector<ParameterField> fields = {
        {"desired_speed_m_per_s", &IdmParameters::DesiredSpeed, 5.0, 60.0},
        {"time_headway_s", &IdmParameters::TimeHeadway, 0.3, 4.0},
        {"minimum_gap_m", &IdmParameters::MinimumGap, 0.5, 10.0},
        {"max_acceleration_m_per_s2", &IdmParameters::MaxAcceleration, 0.1, 5.0},
        {"comfort_deceleration_m_per_s2", &IdmParameters::ComfortDeceleration, 0.1, 6.0},
        {"exponent", &IdmParameters::Exponent, 1.0, 10.0},
        {"politeness", &IdmParameters::Politeness, 0.0, 1.0},
        {"threshold_m_per_s2", &IdmParameters::Threshold, 0.0, 2.0},
        {"safe_deceleration_m_per_s2", &IdmParameters::SafeDeceleration, 1.0, 10.0},
    };
    return fields;
}

std::string parameter_text(const IdmParameters& P) {
    std::string text = "# Kelvane 3D: parameters of the car-following traffic model (--traffic-model idm)\n";
    for (const ParameterField& f : parameter_fields())
        text += std::string(f.Name) + " = " + number_text(P.*(f.Member)) + "\n";
    return text;
}

std::vector<ParameterProblem> read_parameter_text(std::string_view text, IdmParameters& P) {
    std::vector<ParameterProblem> problems;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++number;
        if (line.empty() || line.front() == '#') continue;
        if (std::string problem = read_line(line, P); !problem.empty())
            problems.push_back({number, std::move(problem)});
    }
    return problems;
}

} // namespace kl
