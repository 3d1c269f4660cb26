#include "traffic/variation.h"

#include "traffic/parameter_text.h"
#include "traffic/scenario.h"

#include <charconv>
#include <cstdio>
#include <cmath>

namespace kl {

double RoadVariation::value(std::int32_t road, std::int32_t roads) const {
    if (roads <= 1 || road <= 0) return From;
    if (road >= roads - 1) return To;
    return From + (To - From) * static_cast<double>(road) / static_cast<double>(roads - 1);
}

double IdmParameters::*RoadVariation::parameter() const {
    for (const ParameterField& f : parameter_fields())
        if (Key == f.Name) return f.Member;
    return nullptr;
}

IdmParameters RoadVariation::parameters_of(const IdmParameters& P, std::int32_t road, std::int32_t roads) const {
    IdmParameters own = P;
    if (double IdmParameters::*member = parameter()) own.*member = value(road, roads);
    return own;
}

bool variation_range(std::string_view key, double& low, double& high) {
    for (const ParameterField& f : parameter_fields())
        if (key == f.Name) {
            low = f.Low, high = f.High;
            return true;
        }
    if (key == RingLengthKey) {
        low = MinRingLength, high = MaxRingLength;
    } else if (key == InflowKey) {
        low = 0, high = MaxInflow;
    } else if (key == RampInflowKey) {
        low = 0, high = MaxRampInflow;
    } else {
        return false;
    }
    return true;
}

std::optional<RoadVariation> parse_variation(std::string_view text, std::string* problem) {
    const auto fail = [&](std::string why) -> std::optional<RoadVariation> {
        if (problem) *problem = std::move(why);
        return std::nullopt;
    };
    const std::size_t equals = text.find('='), colon = text.find(':', equals == text.npos ? 0 : equals);
    // Appended, not added up: GCC 12 warns of an overlap in "..." + std::string at -O3.
    std::string whole = "'";
    whole.append(text).append("' is not KEY=FROM:TO");
    if (equals == text.npos || colon == text.npos) return fail(whole);
    RoadVariation v;
    v.Key = std::string(text.substr(0, equals));
    double low = 0, high = 0;
    if (!variation_range(v.Key, low, high))
        return fail(std::string("'").append(v.Key).append("' is not a key (a name of traffic-model.txt, ")
                        .append(RingLengthKey)
                        .append(", ")
                        .append(InflowKey)
                        .append(" or ")
                        .append(RampInflowKey)
                        .append(")"));
    const auto number = [](std::string_view s, double& out) {
        const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
        return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(out);
    };
    const std::string_view from = text.substr(equals + 1, colon - equals - 1), to = text.substr(colon + 1);
    if (!number(from, v.From) || !number(to, v.To)) return fail(whole);
    if (v.From < low || v.From > high || v.To < low || v.To > high) {
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", low, high);
        return fail(v.Key + " takes values from " + range);
    }
    return v;
}

} // namespace kl
