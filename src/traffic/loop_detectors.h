// Virtual loop detectors: a loop across every lane of every road each 250 m, and on the on-ramp where
// it runs, counting the vehicles that pass over it and how long it lies under a vehicle, aggregated
// over a minute of simulated time, as loops buried in a real road report.
#pragma once

#include "traffic/idm.h"
#include "traffic/scenario.h"
#include "traffic/vehicles.h"

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace kl {

// What one loop in one lane measured over one interval.
struct LoopReading {
    std::int32_t Road = 0;
    double Position = 0;   // metres along the road
    std::int32_t Lane = 0; // 0 to 2, or RampLane
    std::int64_t Vehicles = 0;
    double Flow = 0; // vehicles per hour
    // Mean and harmonic mean of the crossing vehicles' speeds, m/s; not a number when none crossed.
    double Speed = std::numeric_limits<double>::quiet_NaN();
    double HarmonicSpeed = std::numeric_limits<double>::quiet_NaN();
    double Occupancy = 0; // percent of the interval a vehicle body stood over the loop
};

struct LoopInterval {
    double End = 0;     // on the clock set_up was given
    double Seconds = 0; // how long it lasted: IntervalSeconds, less when cut short by close()
    // Road after road, loop after loop along it, at each loop lanes 0 to 2 and then the ramp's.
    std::vector<LoopReading> Readings;
};

class LoopDetectors {
  public:
    static constexpr double Spacing = 250.0;
    static constexpr double IntervalSeconds = 60.0, ShortestInterval = 1.0;
    // The open street has no end; its loops reach as far as the roads drawn for it.
    static constexpr double OpenStreetLength = 4000.0;

    // Loops for roads 0 .. roads - 1 of the street: from Spacing on, up to the open street's
    // length, up to (not at) the end of a road fed by an inflow, whose vehicles leave there, and
    // round a ring up to its length (a loop there is its start). The on-ramp has loops at the
    // multiples of Spacing from where its vehicles enter to where it ends. Start is the traffic as
    // set up, time the clock's reading then; intervals end every IntervalSeconds from it.
    void set_up(const ScenarioSettings& street, std::int32_t roads, const VehicleLengths& lengths,
                const VehicleList& start, double time);

    // One step of the traffic by dt seconds, which left it as After. A vehicle is followed by its
    // road and id (a vehicle new on its road, or gone, crosses nothing); it moved at an even speed
    // through the step, its distance over dt, and is counted in the lane it drives in after it.
    // Intervals whose end the step reached are closed.
    void step(const VehicleList& After, double dt);
    // Closes the interval under way at once (the run ends, or the traffic is set up afresh); one
    // that lasted less than ShortestInterval is dropped.
    void close();

    // The intervals the last step or close closed, oldest first.
    const std::vector<LoopInterval>& closed() const { return Closed; }
    // Readings of one road in an interval.
    std::span<const LoopReading> road_readings(const LoopInterval& interval, std::int32_t road) const;

    // Positions of the loops across the main lanes, along the road, metres.
    const std::vector<double>& positions() const { return Positions; }
    std::int32_t roads() const { return Roads; }
    // The street as set up.
    const ScenarioSettings& street() const { return Street; }
    double time() const { return Time; }

  private:
    struct Tally {
        std::int64_t Vehicles = 0;
        double Speeds = 0, InverseSpeeds = 0, Covered = 0;
    };
    struct Seen {
        double Position;
        std::int32_t Id, Lane;
    };
    // A vehicle's move through a step: from X0 to X1 metres (X1 past the ring's length after a
    // wrap), at Speed.
    struct Move {
        std::int32_t Road, Lane;
        double X0, X1, Speed, HalfLength;
    };

    void remember(const VehicleList& vehicles);
    void collect_moves(const VehicleList& After, double dt);
    // The moves from fraction f0 to f1 of the step of dt seconds into the tallies.
    void measure(double f0, double f1, double dt);
    // Loop sites of a road: lanes 0 to 2 of loop k at 3k + lane, the ramp's loop k after them all.
    std::int32_t site(std::int32_t loop, std::int32_t lane) const;
    void close_interval(double end);

    ScenarioSettings Street;
    double Ring = 0;
    VehicleLengths Lengths;
    std::int32_t Roads = 0;
    std::vector<double> Positions;
    // The ramp's loops are those with index RampFirst .. RampLast (none when RampLast < RampFirst).
    std::int32_t RampFirst = 0, RampLast = -1;
    std::int32_t SitesPerRoad = 0;
    std::vector<Tally> Tallies;
    std::vector<Seen> Before;
    std::vector<std::size_t> BeforeStarts; // where each road's vehicles begin in Before, and the end
    std::vector<Move> Moves;
    double Time = 0, IntervalStart = 0;
    std::vector<LoopInterval> Closed;
};

// The readings as CSV: the header line, and one row per reading of an interval (time_s its end). A
// ramp's loop is lane "ramp"; both speeds are empty when no vehicle crossed. Numbers have a point
// as decimal separator whatever the locale.
inline constexpr const char* kLoopDetectorHeader =
    "time_s,road,position_m,lane,vehicles,flow_veh_per_h,speed_m_per_s,harmonic_speed_m_per_s,"
    "occupancy_percent";
void append_loop_rows(std::string& out, const LoopInterval& interval);

} // namespace kl
