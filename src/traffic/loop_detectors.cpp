// Loops are 250 m apart and a vehicle moves a few metres a step, so a vehicle's step reaches one loop
// at most: each vehicle costs a division or two, whatever the number of loops. A step that reaches
// an interval's end is cut there (positions taken as moving evenly through it), so each crossing
// and each second a loop lies covered falls in the interval it happened in, whatever the step.
#include "traffic/loop_detectors.h"

#include "traffic/log.h"

#include <algorithm>
#include <cmath>

namespace kl {

namespace {

// Index of the first loop at or after `metres` (loop k lies at (k + 1) Spacing), kept to a range an
// int holds for any distance.
std::int32_t first_loop_from(double metres) {
    const double k = std::ceil(metres / LoopDetectors::Spacing) - 1.0;
    return static_cast<std::int32_t>(std::clamp(k, -1.0, 1e6));
}
std::int32_t last_loop_to(double metres) {
    const double k = std::floor(metres / LoopDetectors::Spacing) - 1.0;
    return static_cast<std::int32_t>(std::clamp(k, -2.0, 1e6));
}

} // namespace

void LoopDetectors::set_up(const ScenarioSettings& street, std::int32_t roads, const VehicleLengths& lengths,
                           const VehicleList& start, double time) {
    Street = street;
    Lengths = lengths;
    Roads = std::clamp<std::int32_t>(roads, 0, start.roads());
    Ring = 0;
    double reach = OpenStreetLength;
    // A little below a whole multiple, so that a length of exactly k loops keeps its k-th loop.
    constexpr double kLoopSlack = 1e-9;
    std::int32_t loops = 0;
    if (street.Scenario == TrafficScenario::Ring && street.RingLength > 0 &&
        std::isfinite(street.RingLength)) {
        Ring = street.RingLength;
        loops = static_cast<std::int32_t>(std::floor(Ring / Spacing + kLoopSlack));
    } else if (has_inflow(street.Scenario)) {
        reach = std::clamp(street.RoadLength, MinRoadLength, MaxRoadLength);
        // Not at the end itself: a vehicle leaves the road there and is never seen past it.
        loops = static_cast<std::int32_t>(std::ceil(reach / Spacing - kLoopSlack)) - 1;
    } else {
        loops = static_cast<std::int32_t>(std::floor(reach / Spacing + kLoopSlack));
    }
    Positions.clear();
    for (std::int32_t k = 0; k < loops; ++k)
        Positions.push_back((k + 1) * Spacing);
    RampFirst = 0, RampLast = -1;
    if (street.Scenario == TrafficScenario::Onramp) {
        const Bottleneck b = bottleneck_of(street.Scenario, street.RoadLength);
        RampFirst = std::max(0, first_loop_from(b.RampStart));
        RampLast = std::min(loops - 1, last_loop_to(b.End));
    }
    SitesPerRoad = 3 * loops + std::max(0, RampLast - RampFirst + 1);
    Tallies.assign(static_cast<std::size_t>(Roads) * static_cast<std::size_t>(SitesPerRoad), Tally{});
    Time = IntervalStart = std::isfinite(time) ? time : 0.0;
    Closed.clear();
    remember(start);
}

std::int32_t LoopDetectors::site(std::int32_t loop, std::int32_t lane) const {
    if (lane == RampLane) return 3 * static_cast<std::int32_t>(Positions.size()) + (loop - RampFirst);
    return 3 * loop + lane;
}

void LoopDetectors::remember(const VehicleList& vehicles) {
    Before.clear();
    BeforeStarts.assign(static_cast<std::size_t>(Roads) + 1, 0);
    for (std::int32_t r = 0; r < Roads; ++r) {
        BeforeStarts[static_cast<std::size_t>(r)] = Before.size();
        for (const Vehicle& v : vehicles.road(r))
            Before.push_back({v.Position, v.Id, v.Lane});
    }
    BeforeStarts[static_cast<std::size_t>(Roads)] = Before.size();
}

void LoopDetectors::collect_moves(const VehicleList& After, double dt) {
    Moves.clear();
    std::vector<std::pair<std::int32_t, std::size_t>> by_id;
    const std::int32_t roads = std::min(Roads, After.roads());
    for (std::int32_t r = 0; r < roads; ++r) {
        const std::size_t from = BeforeStarts[static_cast<std::size_t>(r)];
        const std::size_t count = BeforeStarts[static_cast<std::size_t>(r) + 1] - from;
        const Seen* before = Before.data() + from;
        by_id.clear();
        std::size_t i = 0;
        for (const Vehicle& v : After.road(r)) {
            const std::size_t at = i++;
            if (v.Lane < 0 || v.Lane > RampLane) continue;
            // A model that keeps its vehicles in their places lists each at the same index; one that
            // does not is followed by id.
            const Seen* was = at < count && before[at].Id == v.Id ? &before[at] : nullptr;
            if (was == nullptr) {
                if (by_id.empty() && count > 0) {
                    for (std::size_t k = 0; k < count; ++k)
                        by_id.emplace_back(before[k].Id, k);
                    std::sort(by_id.begin(), by_id.end());
                }
                const auto found =
                    std::lower_bound(by_id.begin(), by_id.end(), std::make_pair(v.Id, std::size_t{0}));
                if (found == by_id.end() || found->first != v.Id) continue;
                was = &before[found->second];
            }
            double x0 = was->Position, x1 = v.Position;
            if (!std::isfinite(x0) || !std::isfinite(x1)) continue;
            if (Ring > 0 && x1 < x0) x1 += Ring;
            // Nothing drives backwards: a vehicle put somewhere else passed no loop on the way.
            if (x1 < x0) continue;
            const int kind = std::clamp<int>(v.Kind, 0, VehicleKinds - 1);
            Moves.push_back({r, v.Lane, x0, x1, (x1 - x0) / dt, Lengths.of(kind % 3, kind >= 3) / 2});
        }
    }
}

void LoopDetectors::measure(double f0, double f1, double dt) {
    const double seconds = (f1 - f0) * dt;
    const std::int32_t loops = static_cast<std::int32_t>(Positions.size());
    const double shifts[3] = {-Ring, 0.0, Ring};
    const int first_shift = Ring > 0 ? 0 : 1, last_shift = Ring > 0 ? 2 : 1;
    for (const Move& m : Moves) {
        const double a = m.X0 + (m.X1 - m.X0) * f0, b = m.X0 + (m.X1 - m.X0) * f1;
        const bool ramp = m.Lane == RampLane;
        const std::int32_t lowest = ramp ? RampFirst : 0, highest = ramp ? RampLast : loops - 1;
        Tally* road =
            Tallies.data() + static_cast<std::size_t>(m.Road) * static_cast<std::size_t>(SitesPerRoad);
        for (int s = first_shift; s <= last_shift; ++s) {
            const double shift = shifts[s];
            // Round the ring only near its start: a loop a ring's length back or on.
            if ((s == 0 && a - m.HalfLength > 0) || (s == 2 && b + m.HalfLength < Ring + Spacing)) continue;
            const std::int32_t k0 = std::max(lowest, first_loop_from(a - m.HalfLength - shift));
            const std::int32_t k1 = std::min(highest, last_loop_to(b + m.HalfLength - shift));
            for (std::int32_t k = k0; k <= k1; ++k) {
                const double p = (k + 1) * Spacing + shift;
                Tally& t = road[site(k, m.Lane)];
                if (p > a && p <= b) {
                    ++t.Vehicles;
                    t.Speeds += m.Speed;
                    t.InverseSpeeds += 1.0 / m.Speed;
                }
                // The body covers the loop while the vehicle's middle is within half its length of it.
                if (b > a) {
                    const double over = std::min(b, p + m.HalfLength) - std::max(a, p - m.HalfLength);
                    if (over > 0) t.Covered += seconds * over / (b - a);
                } else if (std::fabs(a - p) <= m.HalfLength) {
                    t.Covered += seconds;
                }
            }
        }
    }
}

void LoopDetectors::close_interval(double end) {
    LoopInterval interval;
    interval.End = end;
    interval.Seconds = end - IntervalStart;
    const std::int32_t loops = static_cast<std::int32_t>(Positions.size());
    interval.Readings.reserve(Tallies.size());
    for (std::int32_t r = 0; r < Roads; ++r) {
        const Tally* road =
            Tallies.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(SitesPerRoad);
        for (std::int32_t k = 0; k < loops; ++k)
            for (std::int32_t lane = 0; lane <= RampLane; ++lane) {
                if (lane == RampLane && (k < RampFirst || k > RampLast)) continue;
                const Tally& t = road[site(k, lane)];
                LoopReading reading;
                reading.Road = r;
                reading.Position = Positions[static_cast<std::size_t>(k)];
                reading.Lane = lane;
                reading.Vehicles = t.Vehicles;
                reading.Flow = static_cast<double>(t.Vehicles) * 3600.0 / interval.Seconds;
                if (t.Vehicles > 0) {
                    reading.Speed = t.Speeds / static_cast<double>(t.Vehicles);
                    reading.HarmonicSpeed = static_cast<double>(t.Vehicles) / t.InverseSpeeds;
                }
                reading.Occupancy = t.Covered / interval.Seconds * 100.0;
                interval.Readings.push_back(reading);
            }
    }
    Closed.push_back(std::move(interval));
    std::fill(Tallies.begin(), Tallies.end(), Tally{});
    IntervalStart = end;
}

void LoopDetectors::step(const VehicleList& After, double dt) {
    Closed.clear();
    if (!(std::isfinite(dt) && dt > 0)) {
        remember(After);
        return;
    }
    collect_moves(After, dt);
    const double end = Time + dt;
    // Clock readings are sums of float frame times: an end within a nanosecond is reached.
    constexpr double kReached = 1e-9;
    double f0 = 0;
    while (IntervalStart + IntervalSeconds <= end + kReached) {
        const double boundary = IntervalStart + IntervalSeconds;
        const double f1 = std::clamp((boundary - Time) / dt, f0, 1.0);
        measure(f0, f1, dt);
        close_interval(boundary);
        f0 = f1;
    }
    if (f0 < 1) measure(f0, 1.0, dt);
    Time = end;
    remember(After);
}

void LoopDetectors::close() {
    Closed.clear();
    // A moment's figures would be all noise: a few vehicles an hour made thousands.
    if (Roads > 0 && Time - IntervalStart >= ShortestInterval) close_interval(Time);
}

std::span<const LoopReading> LoopDetectors::road_readings(const LoopInterval& interval,
                                                          std::int32_t road) const {
    const auto per_road = static_cast<std::size_t>(SitesPerRoad);
    const std::size_t from = static_cast<std::size_t>(road) * per_road;
    if (road < 0 || from + per_road > interval.Readings.size()) return {};
    return std::span<const LoopReading>(interval.Readings).subspan(from, per_road);
}

void append_loop_rows(std::string& out, const LoopInterval& interval) {
    const std::string time = fixed_decimals(interval.End, 3) + ",";
    for (const LoopReading& r : interval.Readings) {
        out += time;
        out += std::to_string(r.Road);
        out += ',';
        out += fixed_decimals(r.Position, 0);
        out += ',';
        out += r.Lane == RampLane ? std::string("ramp") : std::to_string(r.Lane);
        out += ',';
        out += std::to_string(r.Vehicles);
        out += ',';
        out += fixed_decimals(r.Flow, 1);
        out += ',';
        out += fixed_decimals(r.Speed, 3);
        out += ',';
        out += fixed_decimals(r.HarmonicSpeed, 3);
        out += ',';
        out += fixed_decimals(r.Occupancy, 3);
        out += '\n';
    }
}

} // namespace kl
