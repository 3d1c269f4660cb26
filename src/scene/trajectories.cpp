// Rows go out a half second's batch at a time and are flushed at once, so that an interrupted run
// keeps what it wrote. Numbers are written to the millimetre and millisecond, whatever the locale.
#include "scene/trajectories.h"

#include "scene/scene_state.h"
#include "sim/mdl_kl.h"
#include "traffic/statistics.h"

#include <charconv>
#include <cmath>
#include <string>

namespace kl::scene {

namespace {

constexpr double kMetresPerSecondPerUnit = 0.36;

void put(std::string& out, double value) {
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 3);
    out.append(buf, result.ptr);
}

} // namespace

TrajectoryWriter::TrajectoryWriter(std::ostream* out) : Out(out) {
    if (Out) *Out << kTrajectoryHeader << '\n' << std::flush;
}

void TrajectoryWriter::traffic_set_up(const SceneState&) {
    Pending = mdlKl::Program().LastFrameTime;
    LastSpeed.clear();
}

void TrajectoryWriter::frame(const SceneState& S) {
    if (!Out || S.Viewer.Paused) return;
    if (std::isfinite(Pending) && Pending > 0) Time += Pending;
    Pending = mdlKl::Program().LastFrameTime;
    if (Time + 1e-9 < NextRow) return;
    while (NextRow <= Time + 1e-9)
        NextRow += kTrajectorySeconds;
    write_rows(S);
}

void TrajectoryWriter::write_rows(const SceneState& S) {
    const TrafficTables& T = *S.Traffic;
    const std::int32_t roads = roads_in_tables(S.RoadCount);
    const std::size_t vehicles = static_cast<std::size_t>(roads) * 60;
    const bool first = LastSpeed.size() != vehicles;
    if (first) LastSpeed.assign(vehicles, 0.0);
    const double since = Time - LastRowTime;
    std::string text;
    std::string time;
    put(time, Time);
    for (std::int32_t r = 0; r < roads; ++r)
        for (int m = 0; m < 3; ++m)
            for (int n = 0; n <= TrafficTables::LastCar; ++n) {
                const std::int32_t lane = T.VehLane(m, n, r);
                const double dist = T.VehDist(m, n, r);
                if (lane < 0 || lane > 2 || !std::isfinite(dist)) continue;
                const std::size_t i = static_cast<std::size_t>(r) * 60 + static_cast<std::size_t>(20 * m + n);
                VehicleState v;
                if (const auto state = S.Model ? S.Model->state(r, m, n) : std::nullopt) {
                    v = *state;
                } else {
                    v.Position = dist / 100.0;
                    v.Speed = T.VehSpeed(m, n, r) * kMetresPerSecondPerUnit;
                    v.Acceleration = first || !(since > 0) ? 0.0 : (v.Speed - LastSpeed[i]) / since;
                }
                LastSpeed[i] = v.Speed;
                text += time;
                text += ',';
                text += std::to_string(r);
                text += ',';
                text += std::to_string(lane);
                text += ',';
                text += std::to_string(20 * m + n);
                text += ',';
                put(text, v.Position);
                text += ',';
                put(text, v.Speed);
                text += ',';
                put(text, v.Acceleration);
                text += '\n';
            }
    LastRowTime = Time;
    *Out << text << std::flush;
}

} // namespace kl::scene
