// The second traffic model: the lanes and slide of the program's own traffic, driven by the
// Intelligent Driver Model with MOBIL lane changes, for any number of vehicles a road. It keeps
// positions and speeds in metres and m/s of its own, hands its vehicles out in those, and mirrors
// those the traffic tables have a cell for into them after every step for the dump. On the roads fed
// by an inflow (roadworks, on-ramp) vehicles enter at the start and leave at the end, and a lane that
// ends (the closed right lane, the on-ramp's acceleration lane) ends in a standing obstacle that its
// vehicles follow like any leader.
#pragma once

#include "traffic/idm.h"
#include "traffic/model.h"
#include "traffic/ring.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kl {

class IdmTraffic final : public TrafficModel {
  public:
    // With live, the parameters are read from *live before every step (see parameters()).
    explicit IdmTraffic(const IdmParameters* live = nullptr, const VehicleLengths& lengths = {})
        : Live(live), Lengths(lengths) {}

    TrafficModelKind kind() const override { return TrafficModelKind::Idm; }

    // The street the next set_up makes: the open one, a ring of ring_length metres a lane (kept to
    // MinRingLength to MaxRingLength), or a road of road_length metres (kept to MinRoadLength to
    // MaxRoadLength) fed by the inflows (kept to 0 to MaxInflow and MaxRampInflow).
    void set_scenario(const ScenarioSettings& settings) override;
    TrafficScenario scenario() const { return Next.Scenario; }
    ScenarioSettings scenario_settings() const override { return Running; }
    std::int64_t waiting(std::int32_t road) const override;
    // Of one lane of the road (RampLane: the on-ramp); 0 for any other lane.
    std::int64_t waiting(std::int32_t road, std::int32_t lane) const;
    // Kept to their ranges; a value that is not a number leaves that inflow as it is.
    void set_inflows(double inflow, double ramp_inflow) override;

    // Open: the program's own set-up (same random numbers, same start), then adopt. Ring: each lane
    // slot's 20 vehicles in their own lane, evenly spaced at the equilibrium speed of their gap, each
    // then moved by Random by less than half a metre either way. Roadworks and on-ramp: every road
    // empty, its arrivals drawn from a generator of its own seeded by the one number taken from Random.
    void set_up(std::int32_t RoadCount, UniformSource& Random, VehicleList& Vehicles) override;
    void step(const TrafficFrame& Frame, VehicleList& Vehicles) override;
    const TrafficTables& tables() const override { return *Tables; }
    void dump(std::ostream& out, std::int32_t RoadCount, std::int64_t frames,
              float LastFrameTime) const override;

    // Takes the traffic as the tables hold it: distance, speed and lane of every simulated vehicle.
    // The slow last vehicle of each lane slot keeps the speed it has now as its desired speed; the
    // others want the desired speed of the parameters. A vehicle whose lane or distance is unusable
    // stays where it is. Vehicles gets the vehicles as adopted.
    void adopt(const TrafficTables& Tables, std::int32_t RoadCount, VehicleList& Vehicles);

    // Takes the traffic from the vehicles of Start, on the street set_scenario chose (a ring takes
    // each position round it): each vehicle's road, id, lane, kind, position and speed; its length
    // is its kind's. On the open street a slow vehicle (kinds 3 to 5) keeps its speed as its desired
    // speed. A vehicle whose lane, position or speed is unusable stays where it is. Vehicles 0 to 59
    // of a road fill the tables' cells (20m + n is cell (m, n)); a cell no vehicle has gets no lane
    // and no distance. Roads beyond the tables' are left out. Vehicles gets the vehicles in the
    // order of Start, which they keep. Raises Fault for a kind that is none of the six or an id
    // twice on one road. The roads of an inflow scenario are set up as the open street's.
    void set_up_vehicles(const VehicleList& Start, VehicleList& Vehicles);

    void set_variation(const RoadVariation& variation) override { NextVary = variation; }
    RoadVariation variation() const override { return Vary; }
    double ring_length() const override { return Ring; }
    double ring_length(std::int32_t road) const override {
        return road >= 0 && road < static_cast<std::int32_t>(Roads.size()) ? Roads[static_cast<std::size_t>(road)].Ring
                                                                           : Ring;
    }
    void set_lane_changes(bool on) override { LaneChanges = on; }
    bool brake(std::int32_t road, std::int32_t id, double deceleration, double seconds) override;
    // Kept to 0 to MaxAutomatedPerLane. On the ring each lane's vehicles are chosen anew, evenly
    // spread by their order round the ring from its start.
    void set_automated_per_lane(int per_lane) override;
    bool set_automated(std::int32_t road, std::int32_t id, bool automated) override;

    // Read every step, so a change takes effect in the next frame; a model made with live
    // parameters takes them over at every step instead.
    IdmParameters& parameters() { return P; }

    // Speed in m/s of vehicle n of lane slot m (vehicle 20m + n) on road r, as the model holds it
    // (the tables round it).
    double speed(int r, int m, int n) const;

  private:
    // The vehicles the tables have a cell for: vehicle n of lane slot m is vehicle 20m + n of its road.
    static constexpr int TableVehicles = 3 * (TrafficTables::LastCar + 1);

    // The vehicles driving in one lane, as slots by ascending position; the step keeps them so, since
    // it lets no vehicle pass another in its lane. Slot has room for every vehicle of the road.
    struct Row {
        std::vector<std::int32_t> Slot;
        int Count = 0;
    };
    // What the step reads and writes of a vehicle again and again, together: 64 bytes a vehicle.
    struct Driven {
        double X; // the vehicle's middle, metres along the road, as the scene places its model
        double V; // m/s, never negative
        double HalfLen;
        // The acceleration behind its present leader while it is active, kept exact through the
        // lane changes of a step (a change alters only the mover's and the two followers' leaders),
        // so that both the lane-change rule and the move read it instead of working it out again.
        double Acc;
        double InverseOwnSpeed; // a slow vehicle's 1 / its own desired speed; unused for the others
        double BrakeLeft;       // seconds left of a brake the viewer asked for
        std::int32_t Pos;       // entry in its lane's row, while it is active
        // The lane and the step a frame of its slide across to it, in the tables' offset units.
        std::int32_t Lane, SideStep;
        std::uint8_t Kind;
        bool Automated; // driven by the wave-damping controller (automated.h)
        bool Active;    // has a lane, a finite distance and a finite speed
        // Not a vehicle on the road: a slot free for the next to enter, or the standing obstacle at
        // the end of a lane. Neither is handed out.
        bool Gone;
    };
    static_assert(sizeof(Driven) == 64, "a vehicle's record fills one cache line");
    // One road's vehicles, by slot: the order they were set up in and are handed out in.
    struct Road {
        std::vector<Driven> Veh;
        std::vector<std::int32_t> Id;
        std::vector<std::int32_t> Offset, TargetOffset; // of the slide, 25 a lane
        std::vector<double> BrakeDeceleration;          // m/s^2
        // An automated vehicle's running mean speed of the flow (its U), m/s; NaN before the first.
        std::vector<double> MeanSpeed;
        // Automated vehicles on the road; none: the step spends nothing on them.
        int AutomatedCount = 0;
        // Vehicles that entered each lane (RampLane: the on-ramp), which spread the automated ones.
        long long Entered[4] = {};
        // The main road's lanes and the on-ramp's.
        Row Rows[4];

        // The ring's length, 0 on the open street.
        double Ring = 0;

        // A road fed by an inflow: its length (0 on the other streets), and of each lane (RampLane:
        // the on-ramp) the vehicles that arrived but found no room yet, the seconds to the next
        // arrival and the kind of the next to enter. Ids run up from NextId; slots of vehicles that
        // left are used again.
        double Length = 0;
        std::int64_t Waiting[4] = {};
        double ToNext[4] = {};
        std::uint8_t NextKind[4] = {};
        std::int32_t NextId = 0;
        RandomSource Arrivals{0};
        // Whose turn it is to judge a lane change (see DecisionInterval in idm_model.cpp).
        double DecisionCredit = 0;
        int NextGroup = 0;
        std::vector<std::int32_t> Free;

        int count() const { return static_cast<int>(Veh.size()); }
        // Appends a vehicle, not yet in any row; its lane is settled.
        void add(std::int32_t id, std::int32_t lane, std::uint8_t kind, double x, double speed,
                 double length);
        // Puts every active vehicle into its lane's row.
        void fill_rows();
        // The slot of vehicle `id`; -1 when the road has none.
        int slot_of(std::int32_t id) const;

        // Bumper to bumper from s to the vehicle ahead of it; on a ring, round the ring to it (a
        // vehicle alone in its lane is its own leader, a ring length ahead).
        double gap(int s, int ahead) const { return along(s, ahead) - Veh[ahead].HalfLen - Veh[s].HalfLen; }
        double along(int s, int ahead) const {
            double d = Veh[ahead].X - Veh[s].X;
            if (Ring > 0 && (d < 0 || ahead == s)) d += Ring;
            return d;
        }
        // The vehicle ahead of entry i of row `row` (-1: none): round the ring to the first one.
        int ahead_of(const Row& row, int i) const {
            if (i + 1 < row.Count) return row.Slot[i + 1];
            return Ring > 0 && row.Count > 0 ? row.Slot[0] : -1;
        }
        int behind_of(const Row& row, int i) const {
            if (i > 0) return row.Slot[i - 1];
            return Ring > 0 && row.Count > 0 ? row.Slot[row.Count - 1] : -1;
        }
    };
    struct StepRule;

    void change_lanes(Road& road, const StepRule& rule) const;
    // Every automated vehicle's U after dt more seconds (see automated.h).
    void estimate_mean_speeds(Road& road, double dt) const;
    // Makes slot s of the road automated or not, keeping the road's count.
    static void make_automated(Road& road, int s, bool automated);
    // Drivers of lane `into` beside where lane `ending` ends let a vehicle of it in (see the source).
    void yield_to_merging(Road& road, const StepRule& rule, std::int32_t into, std::int32_t ending) const;
    static void move(Road& road, double dt);
    // Asks the memory for the road's vehicles, ahead of its step.
    static void prefetch(const Road& road);
    static void wrap(Road& road, Row& row);
    void set_up_ring(std::int32_t RoadCount, UniformSource& Random, VehicleList& Vehicles);
    void set_up_inflow(std::int32_t RoadCount, UniformSource& Random, VehicleList& Vehicles);
    // A slot for a vehicle entering road: a free one, or a new one with room in every row.
    static int free_slot(Road& road);
    // A slot that is no vehicle: the standing obstacle ending `lane` at x, put into its row.
    static void put_obstacle(Road& road, std::int32_t lane, double x);
    // The inflows' arrivals of dt seconds, then one vehicle into each lane that has one waiting and
    // room for it; the vehicles past the road's end leave first.
    void leave_and_enter(Road& road, int r, double dt);
    // Vehicles per hour arriving at road r's lane (RampLane: the on-ramp) on the roads set up last.
    double inflow_of(std::int32_t r, std::int32_t lane) const;
    // Road r's ring length of the street set_scenario chose, of `roads` roads.
    double next_ring_of(std::int32_t r, std::int32_t roads) const;
    // The inflows set_inflows gave, at the start of a step.
    void take_new_inflows();
    // Road r's table cell of the vehicle in slot s, when it has one; empty when `gone`.
    void mirror_cell(const Road& road, int s, int r, bool gone);
    // Road r's table cells from its vehicles: those of vehicles 0 to 59 as they are, the others
    // empty (no lane, no distance).
    void fill_cells(const Road& road, int r);
    // The end of a step on one road: one offset step across for each vehicle sliding to another
    // lane, and into the tables' cells what the step changed.
    void slide_and_mirror(Road& road, int r);
    // The vehicles of every road, as the model holds them.
    void list_vehicles(VehicleList& Vehicles) const;

    const IdmParameters* Live;
    VehicleLengths Lengths;
    IdmParameters P;
    // The street the next set_up makes, and the one set up last (its inflows as they are now).
    ScenarioSettings Next, Running;
    // New inflows for the next step, from set_inflows.
    bool InflowsChanged = false;
    double NewInflow = 0, NewRampInflow = 0;
    // Where the closed lane or the on-ramp lies on the roads set up last; all zero on the others.
    Bottleneck Zone;
    // The ring of the traffic set up last (road 0's); 0 for the open street.
    double Ring = 0;
    // The sweep the next set_up takes, and the one of the traffic set up last.
    RoadVariation NextVary, Vary;
    bool LaneChanges = true;
    std::vector<Road> Roads;
    // About 2 MB: on the heap.
    std::unique_ptr<TrafficTables> Tables = std::make_unique<TrafficTables>();
};

} // namespace kl
