// The one front every traffic model sits behind: the scene sets it up, steps it once a frame and reads
// the traffic tables it keeps filled, so statistics, the log, the dump and the followed vehicle work
// the same whichever model drives.
#pragma once

#include "traffic/random_source.h"
#include "traffic/tables.h"
#include "traffic/traffic.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string_view>

namespace kl {

struct IdmParameters;
struct VehicleLengths;

// What a model holds of one vehicle, in metres, m/s and m/s^2: the position along its road (on a
// ring, 0 to the ring's length) and the acceleration of its last step.
struct VehicleState {
    double Position = 0, Speed = 0, Acceleration = 0;
};

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

    // Fresh traffic for roads 0 .. RoadCount - 1 (at most the tables' 251), placed through Sink.
    virtual void set_up(TrafficTables& Tables, std::int32_t RoadCount, std::int32_t BuildingCount,
                        UniformSource& Random, VehiclePlacementSink& Sink) = 0;

    // One frame: every simulated vehicle moves and is placed through Sink. One call per frame, so
    // the cost of the indirection never reaches the per-vehicle loop.
    virtual void step(TrafficTables& Tables, const TrafficFrame& Frame, VehiclePlacementSink& Sink) = 0;

    // The length of the ring each lane closes on, in metres; 0 on the open street.
    virtual double ring_length() const { return 0.0; }

    // Makes vehicle (slot, index) of road brake at least at deceleration m/s^2 for the next seconds
    // of simulated time; false when the model cannot (the program's own traffic never can).
    virtual bool brake(std::int32_t road, int slot, int index, double deceleration, double seconds) {
        (void)road, (void)slot, (void)index, (void)deceleration, (void)seconds;
        return false;
    }

    // The model's own state of a simulated vehicle in a lane; nothing when it keeps none beyond the
    // tables, or the vehicle is in none.
    virtual std::optional<VehicleState> state(std::int32_t road, int slot, int index) const {
        (void)road, (void)slot, (void)index;
        return std::nullopt;
    }

    // The tables as JSON (see write_traffic_dump).
    virtual void dump(std::ostream& out, const TrafficTables& Tables, std::int32_t RoadCount,
                      std::int64_t frames, float LastFrameTime) const = 0;
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
