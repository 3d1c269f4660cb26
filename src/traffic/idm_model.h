// The second traffic model: the same vehicles, lanes and slide as the program's own traffic, driven by
// the Intelligent Driver Model with MOBIL lane changes. It keeps positions and speeds in metres and
// m/s of its own and mirrors them into the traffic tables after every step.
#pragma once

#include "traffic/idm.h"
#include "traffic/model.h"

#include <cstdint>
#include <vector>

namespace kl {

class IdmTraffic final : public TrafficModel {
  public:
    // With live, the parameters are read from *live before every step (see parameters()).
    explicit IdmTraffic(const IdmParameters* live = nullptr, const VehicleLengths& lengths = {})
        : Live(live), Lengths(lengths) {}

    TrafficModelKind kind() const override { return TrafficModelKind::Idm; }

    // The program's own set-up (same random numbers, same start), then adopt.
    void set_up(TrafficTables& Tables, std::int32_t RoadCount, std::int32_t BuildingCount,
                UniformSource& Random, VehiclePlacementSink& Sink) override;
    void step(TrafficTables& Tables, const TrafficFrame& Frame, VehiclePlacementSink& Sink) override;
    void dump(std::ostream& out, const TrafficTables& Tables, std::int32_t RoadCount, std::int64_t frames,
              float LastFrameTime) const override;

    // Takes the traffic as the tables hold it: distance, speed and lane of every simulated vehicle.
    // The slow last vehicle of each lane slot keeps the speed it has now as its desired speed; the
    // others want the desired speed of the parameters. A vehicle whose lane or distance is unusable
    // stays where it is.
    void adopt(const TrafficTables& Tables, std::int32_t RoadCount);

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
        bool Active[Slots]; // has a lane and a finite distance
        int Pos[Slots];     // entry of each active slot in its lane's row
        Row Rows[3];

        // Bumper to bumper from s to the vehicle ahead of it.
        double gap(int s, int ahead) const { return X[ahead] - X[s] - HalfLen[ahead] - HalfLen[s]; }
    };
    struct StepRule;

    void change_lanes(Road& road, TrafficTables& Tables, int r, const StepRule& rule);
    static void move(Road& road, double dt);

    const IdmParameters* Live;
    VehicleLengths Lengths;
    IdmParameters P;
    std::vector<Road> Roads;
};

} // namespace kl
