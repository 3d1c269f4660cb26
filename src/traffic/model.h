// The one front every traffic model sits behind: the scene sets it up and steps it once a frame, and
// each time the model hands out its vehicles as values. The program's own tables stay inside the
// models, for the dump and the digest.
#pragma once

#include "traffic/random_source.h"
#include "traffic/ring.h"
#include "traffic/scenario.h"
#include "traffic/tables.h"
#include "traffic/traffic.h"
#include "traffic/variation.h"
#include "traffic/vehicles.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string_view>

namespace kl {

struct IdmParameters;
struct VehicleLengths;

// The models a run can choose among; the program's own traffic is the default.
enum class TrafficModelKind : std::uint8_t { Classic, Idm };

// "classic" or "idm", as the command line and the dump write them.
const char* traffic_model_name(TrafficModelKind kind);
// The kind of that name; nothing for any other text.
std::optional<TrafficModelKind> traffic_model_named(std::string_view name);

class TrafficModel {
  public:
    virtual ~TrafficModel() = default;

    virtual TrafficModelKind kind() const = 0;
    // The name the command line and the dump use.
    const char* name() const { return traffic_model_name(kind()); }

    // The street the next set_up makes (see ScenarioSettings). The program's own traffic only knows
    // the open street.
    virtual void set_scenario(const ScenarioSettings& settings) { (void)settings; }

    // Fresh traffic for roads 0 .. RoadCount - 1 (at most MaxRoadCount); its vehicles into Vehicles.
    virtual void set_up(std::int32_t RoadCount, UniformSource& Random, VehicleList& Vehicles) = 0;

    // One frame: every vehicle moves, and the vehicles as they are then go into Vehicles. One call
    // per frame, so the cost of the indirection never reaches the per-vehicle loop.
    virtual void step(const TrafficFrame& Frame, VehicleList& Vehicles) = 0;

    // One parameter swept across the roads from the next set_up on; the program's own traffic runs
    // every road the same and keeps none.
    virtual void set_variation(const RoadVariation& variation) { (void)variation; }
    // The sweep of the traffic set up last; inactive when every road runs the same.
    virtual RoadVariation variation() const { return {}; }

    // The length of the ring each lane closes on, in metres; 0 on the open street. With the ring's
    // length swept, road 0's.
    virtual double ring_length() const { return 0.0; }
    // Of road r's lanes.
    virtual double ring_length(std::int32_t road) const {
        (void)road;
        return ring_length();
    }
    // The street the traffic set up last runs on (its inflows as they are now, which may change
    // while it runs).
    virtual ScenarioSettings scenario_settings() const { return {}; }
    // The length of a road fed by an inflow, metres; 0 on the open street and the ring.
    double road_length() const {
        const ScenarioSettings s = scenario_settings();
        return has_inflow(s.Scenario) ? s.RoadLength : 0.0;
    }
    // Vehicles of road r that arrived but found no room to enter yet; 0 on a street without inflow.
    virtual std::int64_t waiting(std::int32_t road) const {
        (void)road;
        return 0;
    }
    // Sets the inflows of a running road fed by one (vehicles per hour per lane, and onto the ramp);
    // they take effect at the next step. Nothing on the other streets.
    virtual void set_inflows(double inflow, double ramp_inflow) { (void)inflow, (void)ramp_inflow; }

    // Off: no vehicle changes lane, so each lane is a single-lane road of its own (a vehicle sliding
    // across finishes its slide). It takes effect at the next step. The program's own traffic has
    // its own rule and keeps it.
    virtual void set_lane_changes(bool on) { (void)on; }

    // Makes vehicle `id` of road brake at least at deceleration m/s^2 for the next seconds of
    // simulated time; false when the model cannot (the program's own traffic never can).
    virtual bool brake(std::int32_t road, std::int32_t id, double deceleration, double seconds) {
        (void)road, (void)id, (void)deceleration, (void)seconds;
        return false;
    }

    // Automated vehicles a lane from now on (see ScenarioSettings::AutomatedPerLane): on the ring
    // that many of each lane's vehicles as they drive now, on a road fed by an inflow the vehicles
    // entering from now on; also for the next set_up. Nothing on the streets without them.
    virtual void set_automated_per_lane(int per_lane) { (void)per_lane; }
    // Makes vehicle `id` of road automated or driven by a human again; false when the model cannot
    // (the open street, the program's own traffic, a vehicle it does not drive).
    virtual bool set_automated(std::int32_t road, std::int32_t id, bool automated) {
        (void)road, (void)id, (void)automated;
        return false;
    }

    // The program's traffic tables as the model left them (the car-following model mirrors its
    // state into them, rounded).
    virtual const TrafficTables& tables() const = 0;

    // The tables as JSON (see write_traffic_dump).
    virtual void dump(std::ostream& out, std::int32_t RoadCount, std::int64_t frames,
                      float LastFrameTime) const = 0;
};

// The traffic the program has always had: set_up_traffic and step_traffic, or the checked plain
// scan when `plain` (both give the same tables bit for bit).
std::unique_ptr<TrafficModel> make_classic_traffic(bool plain);

// A model of that kind. The car-following model reads its parameters from *live before every step
// when given, so that they can be changed while it runs, and keeps its gaps by the lengths given;
// `plain` is for the program's own traffic.
std::unique_ptr<TrafficModel> make_traffic_model(TrafficModelKind kind, bool plain, const IdmParameters* live,
                                                 const VehicleLengths& lengths);

} // namespace kl
