#include "traffic/scenario.h"

#include "traffic/vehicles.h"

#include <algorithm>
#include <cmath>

namespace kl {

const char* traffic_scenario_name(TrafficScenario scenario) {
    switch (scenario) {
    case TrafficScenario::Ring: return "ring";
    case TrafficScenario::Roadworks: return "roadworks";
    case TrafficScenario::Onramp: return "onramp";
    case TrafficScenario::Open: break;
    }
    return "open";
}

std::optional<TrafficScenario> traffic_scenario_named(std::string_view name) {
    for (const TrafficScenario scenario : AllScenarios)
        if (name == traffic_scenario_name(scenario)) return scenario;
    return std::nullopt;
}

// Chosen with the equilibrium curve: at these streets' parameters (scenario_default_parameters: 120
// km/h desired) a lane of vehicles about 4 m long (nine cars in ten, one van) carries at most 1,888
// vehicles an hour (lane_capacity). Roadworks: three lanes of 1,500 bring 4,500 an hour to the two
// lanes left open, a fifth more than their 3,776, so a queue stands before the closure within a few
// minutes; a single lane still takes 1,500 easily at the road's start. On-ramp: three lanes of 1,700
// are 90% of the road's 5,664, free on their own; the ramp's 1,000 more make 6,100, beyond it, and
// the merging brings the traffic down beside the ramp within about six minutes.
double default_inflow(TrafficScenario scenario) {
    switch (scenario) {
    case TrafficScenario::Roadworks: return 1500.0;
    case TrafficScenario::Onramp: return 1700.0;
    default: return 0.0;
    }
}

double default_ramp_inflow(TrafficScenario scenario) {
    return scenario == TrafficScenario::Onramp ? 1000.0 : 0.0;
}

ScenarioSettings default_settings(TrafficScenario scenario) {
    ScenarioSettings s;
    s.Scenario = scenario;
    s.Inflow = default_inflow(scenario);
    s.RampInflow = default_ramp_inflow(scenario);
    return s;
}

Bottleneck bottleneck_of(TrafficScenario scenario, double road_length) {
    if (!has_inflow(scenario)) return {};
    const double length = std::isfinite(road_length) ? std::clamp(road_length, MinRoadLength, MaxRoadLength)
                                                     : DefaultRoadLength;
    Bottleneck b;
    b.Start = length * (2500.0 / DefaultRoadLength);
    b.End = b.Start + BottleneckLength;
    if (scenario == TrafficScenario::Onramp) b.RampStart = b.Start - RampApproach;
    return b;
}

double ramp_across(const Bottleneck& b, double position) {
    constexpr double lane_width = LaneWidthMetres, right = lane_width * RightLane;
    const double to_go = b.Start - b.RampStart > 0 ? (b.Start - position) / (b.Start - b.RampStart) : 0.0;
    return right + lane_width + (RampStartAcross - lane_width) * std::clamp(to_go, 0.0, 1.0);
}

} // namespace kl
