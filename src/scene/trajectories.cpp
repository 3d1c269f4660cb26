// Rows go out a half second's batch at a time and are flushed at once, so that an interrupted run
// keeps what it wrote. Numbers are written to the millimetre and millisecond, whatever the locale.
#include "scene/trajectories.h"

#include "scene/scene_state.h"
#include "sim/mdl_kl.h"

#include <charconv>
#include <cmath>
#include <string>

namespace kl::scene {

namespace {

void put(std::string& out, double value) {
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 3);
    out.append(buf, result.ptr);
}

} // namespace

TrajectoryWriter::TrajectoryWriter(std::ostream* out) : Out(out) {
    if (Out) *Out << kTrajectoryHeader << '\n' << std::flush;
}

void TrajectoryWriter::traffic_set_up(const SceneState& S) {
    Pending = S.Program.LastFrameTime;
    LastSpeed.clear();
}

void TrajectoryWriter::frame(const SceneState& S) {
    if (!Out || S.Viewer.Paused) return;
    if (std::isfinite(Pending) && Pending > 0) Time += Pending;
    Pending = S.Program.LastFrameTime;
    if (Time + 1e-9 < NextRow) return;
    while (NextRow <= Time + 1e-9)
        NextRow += kTrajectorySeconds;
    write_rows(S);
}

void TrajectoryWriter::write_rows(const SceneState& S) {
    const VehicleList& vehicles = S.Street.Vehicles;
    // The program's own traffic changes speeds in steps and reports no acceleration: it is taken from
    // the speeds of the row before.
    const bool stepwise = !S.Model || S.Model->kind() == TrafficModelKind::Classic;
    const bool first = LastSpeed.size() != vehicles.size();
    if (first) LastSpeed.assign(vehicles.size(), 0.0);
    const double since = Time - LastRowTime;
    std::string text;
    std::string time;
    put(time, Time);
    std::size_t i = 0;
    for (const Vehicle& v : vehicles.all()) {
        const std::size_t at = i++;
        if (v.Lane < 0 || v.Lane > RampLane || !std::isfinite(v.Position)) continue;
        double acceleration = v.Acceleration;
        if (stepwise) acceleration = first || !(since > 0) ? 0.0 : (v.Speed - LastSpeed[at]) / since;
        LastSpeed[at] = v.Speed;
        text += time;
        text += ',';
        text += std::to_string(v.Road);
        text += ',';
        text += v.Lane == RampLane ? std::string("ramp") : std::to_string(v.Lane);
        text += ',';
        text += std::to_string(v.Id);
        text += ',';
        put(text, v.Position);
        text += ',';
        put(text, v.Speed);
        text += ',';
        put(text, acceleration);
        text += '\n';
    }
    LastRowTime = Time;
    *Out << text << std::flush;
}

} // namespace kl::scene
