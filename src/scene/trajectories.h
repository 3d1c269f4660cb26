// Floating-car data (--trajectories): every half second of simulated time, one CSV row per simulated
// vehicle with its road, lane (0 to 2, or "ramp" on the on-ramp), id, position, speed and
// acceleration, as traffic simulators write trajectories, from the vehicles the traffic handed out.
// The program's own traffic has no acceleration of its own: its comes from the speeds of the row
// before.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

namespace kl::scene {

struct SceneState;

inline constexpr const char* kTrajectoryHeader =
    "time_s,road,lane,vehicle,position_m,speed_m_per_s,acceleration_m_per_s2";
inline constexpr double kTrajectorySeconds = 0.5;

class TrajectoryWriter {
  public:
    // Writes the header at once; out may be null, and then nothing is written.
    explicit TrajectoryWriter(std::ostream* out);

    void traffic_set_up(const SceneState& S);
    // After each frame's step: the time the step moved the traffic by is counted, and the rows
    // written when another half second has passed.
    void frame(const SceneState& S);

  private:
    void write_rows(const SceneState& S);

    std::ostream* Out;
    // Simulated seconds: the sum of the times the steps moved the traffic by.
    double Time = 0;
    double NextRow = kTrajectorySeconds;
    // The frame time the next step moves by, as the loop left it.
    float Pending = 0;
    // Each vehicle's speed at the last row, in the order of the street's list, and that row's time.
    std::vector<double> LastSpeed;
    double LastRowTime = 0;
};

} // namespace kl::scene
