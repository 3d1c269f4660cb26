// The second traffic model: the same vehicles, lanes and slide as the program's own traffic, driven by
// the Intelligent Driver Model with MOBIL lane changes. It keeps positions and speeds in metres and
// m/s of its own, hands its vehicles out in those, and mirrors them into the traffic tables after
// every step for the dump.
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

    // The street the next set_up makes: the open one, or a ring of ring_length metres a lane (kept
    // to MinRingLength to MaxRingLength).
    void set_scenario(TrafficScenario scenario, double ring_length) override;
    TrafficScenario scenario() const { return Scenario; }

    // Open: the program's own set-up (same random numbers, same start), then adopt. Ring: each lane
    // slot's 20 vehicles in their own lane, evenly spaced at the equilibrium speed of their gap, each
    // then moved by Random by less than half a metre either way.
    void set_up(std::int32_t RoadCount, UniformSource& Random, VehicleList& Vehicles) override;
    void step(const TrafficFrame& Frame, VehicleList& Vehicles) override;
    const TrafficTables& tables() const override { return *Tables; }
    void dump(std::ostream& out, std::int32_t RoadCount, std::int64_t frames, float LastFrameTime) const override;

    // Takes the traffic as the tables hold it: distance, speed and lane of every simulated vehicle.
    // The slow last vehicle of each lane slot keeps the speed it has now as its desired speed; the
    // others want the desired speed of the parameters. A vehicle whose lane or distance is unusable
    // stays where it is. Vehicles gets the vehicles as adopted.
    void adopt(const TrafficTables& Tables, std::int32_t RoadCount, VehicleList& Vehicles);

    double ring_length() const override { return Ring; }
    bool brake(std::int32_t road, std::int32_t id, double deceleration, double seconds) override;

    // Read every step, so a change takes effect in the next frame; a model made with live
    // parameters takes them over at every step instead.
    IdmParameters& parameters() { return P; }

    // Speed in m/s of vehicle n of lane slot m on road r, as the model holds it (the tables round it).
    double speed(int r, int m, int n) const;

  private:
    static constexpr int Slots = 3 * (TrafficTables::LastCar + 1);

    // The slots driving in one lane, by ascending position; the step keeps them so, since it lets no
    // vehicle pass another in its lane.
    struct Row {
        std::int8_t Slot[Slots];
        int Count = 0;
    };
    struct Road {
        double X[Slots]; // the vehicle's middle, metres along the road, as the scene places its model
        double V[Slots]; // m/s, never negative
        double HalfLen[Slots];
        double InverseSlowSpeed[3]; // 1 / the desired speed of each lane slot's slow vehicle
        // The acceleration of each active slot behind its present leader, kept exact through the
        // lane changes of a step (a change alters only the mover's and the two followers' leaders),
        // so that both the lane-change rule and the move read it instead of working it out again.
        double Acc[Slots];
        // Seconds left of a brake the viewer asked for, and how hard, m/s^2.
        double BrakeLeft[Slots];
        double BrakeDeceleration[Slots];
        bool Active[Slots]; // has a lane and a finite distance
        int Pos[Slots];     // entry of each active slot in its lane's row
        Row Rows[3];

        // The ring's length, 0 on the open street.
        double Ring;

        // Bumper to bumper from s to the vehicle ahead of it; on a ring, round the ring to it (a
        // vehicle alone in its lane is its own leader, a ring length ahead).
        double gap(int s, int ahead) const { return along(s, ahead) - HalfLen[ahead] - HalfLen[s]; }
        double along(int s, int ahead) const {
            double d = X[ahead] - X[s];
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

    void change_lanes(Road& road, int r, const StepRule& rule);
    static void move(Road& road, double dt);
    static void wrap(Road& road, Row& row);
    void set_up_ring(std::int32_t RoadCount, UniformSource& Random);
    // The simulated vehicles of every road, as the model holds them and the tables slide them.
    void list_vehicles(VehicleList& Vehicles) const;

    const IdmParameters* Live;
    VehicleLengths Lengths;
    IdmParameters P;
    TrafficScenario Scenario = TrafficScenario::Open;
    double NextRing = DefaultRingLength;
    // The ring of the traffic set up last; 0 for the open street.
    double Ring = 0;
    std::vector<Road> Roads;
    // About 2 MB: on the heap.
    std::unique_ptr<TrafficTables> Tables = std::make_unique<TrafficTables>();
};

} // namespace kl
