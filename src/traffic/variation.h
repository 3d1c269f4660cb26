// One parameter swept across the roads: each road runs its own value, spread evenly from road 0 to
// the last, so that the roads side by side form a diagram of how the traffic depends on it.
#pragma once

#include "traffic/idm.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kl {

// The keys beside the car-following model's own parameters (their names in traffic-model.txt).
inline constexpr std::string_view RingLengthKey = "ring_length_m";
inline constexpr std::string_view InflowKey = "inflow_veh_per_h_per_lane";
inline constexpr std::string_view RampInflowKey = "ramp_inflow_veh_per_h";

struct RoadVariation {
    std::string Key; // empty: every road runs the same
    double From = 0, To = 0;

    bool active() const { return !Key.empty(); }
    // Road r's value of `roads` roads: From at road 0, To at the last, evenly between.
    double value(std::int32_t road, std::int32_t roads) const;
    // The car-following parameter it sweeps; nullptr for the street's keys or when inactive.
    double IdmParameters::*parameter() const;
    // P with road r's value when the key is one of P's.
    IdmParameters parameters_of(const IdmParameters& P, std::int32_t road, std::int32_t roads) const;
};

// The values a key may take; false for a key that is none of them.
bool variation_range(std::string_view key, double& low, double& high);

// "KEY=FROM:TO"; nothing, with the reason in *problem, when the key is unknown, a number does not
// read whole or lies outside the key's range.
std::optional<RoadVariation> parse_variation(std::string_view text, std::string* problem);

} // namespace kl
