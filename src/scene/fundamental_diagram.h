// The fundamental diagram of one road: flow (vehicles/h/lane) against density (vehicles/km/lane) as
// virtual detectors along the road measure them, each a stretch of kDetectorMetres aggregated over
// kAggregateSeconds of simulated time, for the last kSpan seconds; under the points the equilibrium
// curve Q(rho) = rho v_e(rho) of the car-following model's parameters, and the present state of the
// road as one bright point.
#pragma once

#include "scene/space_time_diagram.h"
#include "traffic/idm.h"
#include "traffic/loop_detectors.h"
#include "traffic/model.h"
#include "traffic/tables.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>

namespace kl {

// The mean length of a road's 60 vehicles: the one the equilibrium curve is drawn for.
double mean_vehicle_length(const VehicleLengths& lengths);

class FundamentalDiagram {
  public:
    static constexpr double DetectorMetres = 100.0;
    static constexpr double AggregateSeconds = 30.0;
    static constexpr double Span = 600.0;
    // The picture: the same size as the space-time diagram's.
    static constexpr std::int32_t Width = SpaceTimeHistory::Width, Height = SpaceTimeHistory::Height;

    struct Point {
        double Time = 0;
        double Density = 0; // vehicles per km and lane
        double Flow = 0;    // vehicles per hour and lane
    };

    // Counts road Road's vehicles over the seconds dt the traffic has just moved by, at simulated
    // Time (after the move); ring is the ring's length, 0 on the open street. Every stretch's
    // measure is Edie's: the time its vehicles spent in it and the distance they drove in it, over
    // its length and the aggregation time. Another road or ring starts afresh.
    // Model, when given, gives the speeds in full where it keeps them (the tables round them).
    void follow(const VehicleList& Vehicles, std::int32_t Road, double ring, double Time, double dt);
    // On a road fed by an inflow, the points come from its loop detectors instead: one for each loop
    // and main lane that vehicles crossed in the interval ending at Time, its flow against the flow
    // over the crossing vehicles' harmonic mean speed (their space-mean speed), which is the density
    // a loop measures. There is no present state. Another road starts afresh.
    void take_readings(std::span<const LoopReading> readings, std::int32_t Road, double Time);
    // Forgets everything: the traffic was set up afresh.
    void clear();

    const std::deque<Point>& points() const { return Points; }
    // The road as it is now: all its vehicles over the stretch they occupy (the ring, or from the
    // last to the first on the open street), at the mean of their speeds.
    const std::optional<Point>& present() const { return Present; }
    std::uint64_t revision() const { return Revision; }

    // The axes' ends: density up to the jam's (a vehicle and its minimum gap), flow up to the curve's
    // and the points' highest, both widened to round numbers.
    struct Axes {
        double Density = 0, Flow = 0;
    };
    Axes axes(const IdmParameters& P, double vehicle_length) const;

    // Density across, flow upwards: the curve as a line, the points in the colour of their speed,
    // older ones dimmer, the present state as a white dot ringed in black.
    void rasterise(RgbaImage& Image, const Rgb& Background, const IdmParameters& P,
                   double vehicle_length) const;

  private:
    struct Stretch {
        double Seconds = 0, Metres = 0; // vehicle-seconds and vehicle-metres in it
    };
    std::map<std::int64_t, Stretch> Stretches;
    std::deque<Point> Points;
    std::optional<Point> Present;
    std::int32_t Road = -1;
    double Ring = 0;
    double Started = 0;
    double PresentShown = -1e300;
    bool Running = false;
    std::uint64_t Revision = 0;
};

} // namespace kl
