// The streets the car-following model can run on: the open street the program always had, the ring,
// and two roads fed by an inflow at their start that lead through a bottleneck (roadworks that close
// the right lane, an on-ramp that joins from the right). Here are their names, the settings a run
// chooses them by, and where a road's bottleneck lies.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kl {

// Open: the street the program always had. Ring: each lane a closed loop of the ring length.
// Roadworks and Onramp: a road of the road length, fed by an inflow, that vehicles leave at its end.
enum class TrafficScenario : unsigned char { Open, Ring, Roadworks, Onramp };

// "open", "ring", "roadworks" or "onramp", as the command line, the panel and the dump write them.
const char* traffic_scenario_name(TrafficScenario scenario);
std::optional<TrafficScenario> traffic_scenario_named(std::string_view name);
inline constexpr TrafficScenario AllScenarios[] = {TrafficScenario::Open, TrafficScenario::Ring,
                                                   TrafficScenario::Roadworks, TrafficScenario::Onramp};

// A road fed by an inflow at its start, which its vehicles leave at its end.
inline constexpr bool has_inflow(TrafficScenario scenario) {
    return scenario == TrafficScenario::Roadworks || scenario == TrafficScenario::Onramp;
}

inline constexpr double MinRingLength = 200.0, MaxRingLength = 2000.0;
// Metres per lane.
inline constexpr double DefaultRingLength = 250.0;

// The road of the inflow scenarios, metres.
inline constexpr double MinRoadLength = 1000.0, MaxRoadLength = 20000.0, DefaultRoadLength = 4000.0;
// Vehicles per hour entering each lane of the main road, and the on-ramp.
inline constexpr double MaxInflow = 3000.0, MaxRampInflow = 2500.0;

// The lanes of a road: 0 to 2 across the main road, 2 the right one seen downstream (the one the
// roadworks close and the on-ramp joins), and the on-ramp's acceleration lane beside it.
inline constexpr std::int32_t MainLanes = 3;
inline constexpr std::int32_t RightLane = 2;
inline constexpr std::int32_t RampLane = 3;

// What a run chooses its street by. Only the fields of its scenario count.
struct ScenarioSettings {
    TrafficScenario Scenario = TrafficScenario::Open;
    double RingLength = DefaultRingLength;
    double RoadLength = DefaultRoadLength;
    double Inflow = 0;     // vehicles per hour per lane of the main road
    double RampInflow = 0; // vehicles per hour onto the on-ramp
    // Automated vehicles a lane, 0 to MaxAutomatedPerLane: on the ring that many of each lane's
    // vehicles, evenly spread; on a road fed by an inflow the same share of the vehicles entering each
    // lane (one in RingVehiclesPerLane / that many). The open street has none.
    int AutomatedPerLane = 0;
};

inline constexpr int MaxAutomatedPerLane = 5;
// Whether a street can have automated vehicles: the ring and the roads fed by an inflow. The open
// street's lanes each keep a slow vehicle at their head that nobody can damp a wave behind.
inline constexpr bool takes_automated(TrafficScenario scenario) {
    return scenario == TrafficScenario::Ring || has_inflow(scenario);
}

// The inflows a scenario starts with, chosen with the equilibrium curve (see scenario.cpp): 0 for
// the scenarios without one.
double default_inflow(TrafficScenario scenario);
double default_ramp_inflow(TrafficScenario scenario);
// The settings of a scenario with its own defaults.
ScenarioSettings default_settings(TrafficScenario scenario);

// Where a road's bottleneck lies, metres along it: the closed stretch of the right lane, or the
// stretch where the on-ramp runs beside the road as an acceleration lane (merging is allowed only
// there, and the lane ends at End). On the default 4,000 m road it is 2,500 to 2,800 m; other road
// lengths keep it at the same share of the road, 300 m long. The on-ramp's vehicles enter at
// RampStart, RampApproach metres before the bottleneck, on a strip that comes in at an angle.
struct Bottleneck {
    double Start = 0, End = 0;
    double RampStart = 0;
};
inline constexpr double BottleneckLength = 300.0, RampApproach = 300.0;
// Metres to the right of the right lane's middle that the on-ramp's strip starts at, RampApproach
// before the bottleneck; it reaches one lane width from it where the bottleneck starts.
inline constexpr double RampStartAcross = 40.0;
// None (all zero) for the scenarios without one.
Bottleneck bottleneck_of(TrafficScenario scenario, double road_length);

// Metres across from lane 0's middle of the on-ramp's middle at `position` metres along the road:
// RampStartAcross right of the right lane at RampStart, coming in straight to one lane width beside
// it at the bottleneck's start, and beside it from there on.
double ramp_across(const Bottleneck& b, double position);

} // namespace kl
