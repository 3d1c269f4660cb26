// What a run of an experiment comes to, road by road (--summary): the vehicles' speeds and the flow
// over the last third of the run, and on the ring the growth rate linear theory gives a small
// disturbance. The speeds are gathered from the vehicles after every step, so that a run's summary
// agrees with its trajectories.
#pragma once

#include "traffic/idm.h"
#include "traffic/vehicles.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kl {

inline constexpr const char* kSummaryHeader =
    "road,parameter,value,vehicles,mean_speed_m_per_s,speed_std_m_per_s,"
    "min_speed_m_per_s,flow_veh_per_h,growth_rate_per_s";

// One road's speeds over some frames, each frame's vehicles weighted by the seconds they stood so.
struct RoadSpeeds {
    double Seconds = 0;        // the frames' time
    double VehicleSeconds = 0; // sum over frames of vehicles x seconds
    double Speed = 0;          // sum over frames of (the vehicles' speeds summed) x seconds
    double MainSpeed = 0;      // the same of the vehicles on the main road's lanes (not the on-ramp)
    double Square = 0;         // sum over frames of (the squared speeds summed) x seconds
    double Lowest = 0;         // the lowest speed of any vehicle (meaningful once Seconds > 0)
    void add(const RoadSpeeds& other);
};

// Gathers RoadSpeeds over the last third of a run. When the run's frame count is known, exactly its
// last third of frames counts; a run that ends otherwise (quit earlier, or no count given) counts the
// last third of the frames it ran, to within a 256th of them: every frame's speeds are kept, in
// blocks that merge in pairs as the run grows.
class SummaryAccumulator {
  public:
    // A fresh start (at every set-up of the traffic); frames is the whole run's count when known,
    // and frames_before how many of them have run already.
    void start(std::optional<std::int64_t> frames, std::int64_t frames_before = 0);
    // After every frame: its vehicles as the step left them, and the seconds they stand so (the
    // frame's time); a frame whose traffic did not move (paused) is passed with moved false.
    void frame(const VehicleList& vehicles, double seconds, bool moved = true);
    // Each road's speeds over the last third, for roads 0 .. roads - 1.
    std::vector<RoadSpeeds> last_third(std::int32_t roads) const;
    // Frames seen since the start (moved or not).
    std::int64_t frames() const { return Seen; }

  private:
    struct Block {
        std::int64_t Frames = 0;
        std::vector<RoadSpeeds> Roads;
    };
    static void add_frame(std::vector<RoadSpeeds>& roads, const VehicleList& vehicles, double seconds);

    std::optional<std::int64_t> RunFrames;
    std::int64_t Before = 0, Seen = 0;
    // The exact last third of a run of known length.
    std::vector<RoadSpeeds> Exact;
    std::int64_t ExactFrames = 0;
    // Every frame since the start, in blocks of BlockFrames (the last one may be short).
    std::vector<Block> Blocks;
    std::int64_t BlockFrames = 1;
};

// One row of the summary.
struct SummaryRow {
    std::int32_t Road = 0;
    std::int64_t Vehicles = 0; // on the road at the end
    RoadSpeeds Speeds;
    // Metres of road a lane that the flow is worked out over (the ring's or the road's length); no
    // flow without one.
    double Length = 0;
    // The linear growth rate (1/s); none off the ring.
    std::optional<double> GrowthRate;
};

// The growth rate of uniform flow on the ring of one road: its vehicles spread evenly over its three
// lanes, each of their mean length (see ring_growth_rate).
double ring_road_growth_rate(const IdmParameters& P, double ring_length, std::span<const Vehicle> vehicles,
                             const VehicleLengths& lengths);

// The header and a row per road. parameter is the name of what was swept across the roads (empty
// when nothing was) and values its value on each road (empty, or one per road). Speeds are in m/s,
// the flow in vehicles per hour per lane: the vehicles' mean speed times their density, each lane's
// vehicles over its length (the distance they drove over the length and the time). An empty field is
// a figure that does not exist (no vehicle, no length, not on a ring).
void write_summary(std::ostream& out, std::string_view parameter, std::span<const double> values,
                   std::span<const SummaryRow> rows);

} // namespace kl
